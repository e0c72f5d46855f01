#include "core/workflow/InstallerStatus.h"

#include <map>

namespace {

const std::map<int, const char*>& statusNames() {
  static const std::map<int, const char*> names = {
      {kStatusSuccess, "PIM_STATUS_SUCCESS"},
      {kStatusError, "PIM_STATUS_ERROR"},
      {kStatusInvalidLibraryRef, "PIM_STATUS_INVALID_LIBRARY_REF"},
      {kStatusInvalidArguments, "PIM_STATUS_INVALID_ARGUMENTS"},
      {kStatusPackageNotGenuine, "PIM_STATUS_PACKAGE_NOT_GENUINE"},
      {kStatusPackageNotInstalled, "PIM_STATUS_PACKAGE_NOT_INSTALLED"},
      {kStatusIncompatibleOs, "PIM_STATUS_INCOMPATIBLE_OS"},
      {kStatusCaseSensitiveVolume, "PIM_STATUS_CASE_SENSITIVE_VOLUME"},
      {kStatusInsufficientFreeDiskSpace, "PIM_STATUS_INSUFFICIENT_FREE_DISK_SPACE"},
      {kStatusNoAdminPrivilege, "PIM_STATUS_NO_ADMIN_PRIVILEGE"},
      {kStatusFileNotFound, "PIM_STATUS_FILE_NOT_FOUND"},
      {kStatusFileCorrupted, "PIM_STATUS_FILE_CORRUPTED"},
      {kStatusFileCopyError, "PIM_STATUS_FILE_COPY_ERROR"},
      {kStatusFileCreateError, "PIM_STATUS_FILE_CREATE_ERROR"},
      {kStatusFileDeleteError, "PIM_STATUS_FILE_DELETE_ERROR"},
      {kStatusFileExtractionError, "PIM_STATUS_FILE_EXTRACTION_ERROR"},
      {kStatusFileSetPermissionsError, "PIM_STATUS_FILE_SET_PERMISSIONS_ERROR"},
      {kStatusCorruptedApplicationXml, "PIM_STATUS_FILE_CORRUPTED_APPLICATION_XML"},
      {kStatusFileCorruptedPimx, "PIM_STATUS_FILE_CORRUPTED_PIMX"},
      {kStatusFailedToBackup, "PIM_STATUS_FAILED_TO_BACKUP"},
      {kStatusDatabaseInitError, "PIM_STATUS_DATABASE_INIT_ERROR"},
      {kStatusDatabaseCloseError, "PIM_STATUS_DATABASE_CLOSE_ERROR"},
      {kStatusDatabaseDeleteError, "PIM_STATUS_DATABASE_DELETE_ERROR"},
      {kStatusInvalidRelationshipType, "PIM_STATUS_INVALID_RELATIONSHIP_TYPE"},
      {kStatusInvalidAppletType, "PIM_STATUS_INVALID_APPLET_TYPE"},
      {kStatusLbsRunningFromNetworkPath, "PIM_STATUS_LBS_RUNNING_FROM_NETWORK_PATH"},
      {kStatusPimValidationFailure, "PIM_STATUS_PIM_VALIDATION_FAILURE"},
      {kStatusLoomHelperValidationFailure, "PIM_STATUS_LOOM_HELPER_VALIDATION_FAILURE"},
      {kStatusOrvelInstallerRunning, "PIM_STATUS_ORVEL_INSTALLER_RUNNING"},
      {kStatusQuarryRunning, "PIM_STATUS_QUARRY_RUNNING"},
      {kStatusQuarryCloseError, "PIM_STATUS_QUARRY_CLOSE_ERROR"},
      {kStatusNotifierRunning, "PIM_STATUS_NOTIFIER_RUNNING"},
      {kStatusNotifierCloseError, "PIM_STATUS_NOTIFIER_CLOSE_ERROR"},
      {kStatusTarnRunning, "PIM_STATUS_TARN_RUNNING"},
      {kStatusMsiInstallerRunning, "PIM_STATUS_MSI_INSTALLER_RUNNING"},
      {kStatusQuarryDetectPluginLoaded, "PIM_STATUS_QUARRYDETECTPLUGIN_LOADED"},
      {kStatusTarnFailedToQuit, "PIM_STATUS_TARN_FAILED_TO_QUIT"},
      {kStatusUninstallFailed, "PIM_STATUS_UNINSTALL_FAILED"},
      {kStatusUninstallPartialSuccess, "PIM_STATUS_UNINSTALL_PARTIAL_SUCCESS"},
      {kStatusDownloadError, "PIM_STATUS_DOWNLOAD_ERROR"},
      {kStatusDownloadExtractionError, "PIM_STATUS_DOWNLOAD_EXTRACTION_ERROR"},
      {kStatusDownloadSignCheckError, "PIM_STATUS_DOWNLOAD_SIGN_CHECK_ERROR"},
      {kStatusDownloadFileHandlingError, "PIM_STATUS_DOWNLOAD_FILE_HANDLING_ERROR"},
      {kStatusDownloadInvalidFile, "PIM_STATUS_DOWNLOAD_DOWNLOAD_INVALID_FILE_ERROR"},
      {kStatusNetworkUnavailable, "PIM_STATUS_DOWNLOAD_NETWORK_UNAVAILABLE"},
      {kStatusDownloadServerUnresponsive, "PIM_STATUS_DOWNLOAD_SERVER_UNRESPONSIVE"},
      {kStatusDownloadOutputDiskFull, "PIM_STATUS_DOWNLOAD_OUTPUT_DISK_FULL"},
      {kStatusDownloadWritePermission, "PIM_STATUS_DOWNLOAD_WRITE_PERMISSION"},
      {kStatusDownloadHttpByteRangeNotSupported,
       "PIM_STATUS_DOWNLOAD_HTTP_BYTE_RANGE_NOT_SUPPORTED"},
      {kStatusDownloadInvalidConfiguration, "PIM_STATUS_DOWNLOAD_INVALID_CONFIGURATION"},
      {kStatusProxyAuthenticationRequired, "PIM_STATUS_DOWNLOAD_PROXY_AUTHENTICATION_REQUIRED"},
      {kStatusDownloadHttpInvalidUrl, "PIM_STATUS_DOWNLOAD_HTTP_INVALID_URL"},
      {kStatusDownloadDataValidationError, "PIM_STATUS_DOWNLOAD_DATA_VALIDATION_ERROR"},
      {kStatusCancelled, "PIM_STATUS_DOWNLOAD_CANCELED"},
  };
  return names;
}

}  // namespace

std::string installerStatusName(int code) {
  const auto found = statusNames().find(code);
  return found == statusNames().end() ? std::to_string(code) : found->second;
}
