#pragma once

#include <string>

// The installer's one code space: the installer library's results, the workflow's error numbers
// and the download manager's errors mapped onto them. Each code has its "PIM_STATUS_" name (6,
// the library's own success without an install end, has none).
enum InstallerStatus : int {
  kStatusSuccess = 0,
  kStatusError = 1,
  kStatusInvalidLibraryRef = 2,
  kStatusInvalidArguments = 3,
  kStatusPackageNotGenuine = 4,
  kStatusPackageNotInstalled = 5,
  kStatusSuccessNoEnd = 6,  // installed; the library reports no install end of its own
  kStatusIncompatibleOs = 21,
  kStatusCaseSensitiveVolume = 22,
  kStatusInsufficientFreeDiskSpace = 23,
  kStatusNoAdminPrivilege = 24,
  kStatusFileNotFound = 41,
  kStatusFileCorrupted = 42,
  kStatusFileCopyError = 43,
  kStatusFileCreateError = 44,
  kStatusFileDeleteError = 45,
  kStatusFileExtractionError = 46,
  kStatusFileSetPermissionsError = 47,
  kStatusCorruptedApplicationXml = 48,
  kStatusFileCorruptedPimx = 49,
  kStatusFailedToBackup = 50,
  kStatusDatabaseInitError = 62,
  kStatusDatabaseCloseError = 63,
  kStatusDatabaseDeleteError = 64,
  kStatusInvalidRelationshipType = 65,
  kStatusInvalidAppletType = 66,
  kStatusLbsRunningFromNetworkPath = 71,
  kStatusPimValidationFailure = 72,
  kStatusLoomHelperValidationFailure = 73,
  kStatusOrvelInstallerRunning = 81,
  kStatusQuarryRunning = 82,
  kStatusQuarryCloseError = 83,
  kStatusNotifierRunning = 84,
  kStatusNotifierCloseError = 85,
  kStatusTarnRunning = 86,
  kStatusMsiInstallerRunning = 87,
  kStatusQuarryDetectPluginLoaded = 88,
  kStatusTarnFailedToQuit = 89,
  kStatusUninstallFailed = 101,
  kStatusUninstallPartialSuccess = 102,
  kStatusDownloadError = 201,
  kStatusDownloadExtractionError = 202,
  kStatusDownloadSignCheckError = 203,
  kStatusDownloadFileHandlingError = 204,
  kStatusDownloadInvalidFile = 205,
  kStatusNetworkUnavailable = 206,
  kStatusDownloadServerUnresponsive = 207,
  kStatusDownloadOutputDiskFull = 208,
  kStatusDownloadWritePermission = 209,
  kStatusDownloadHttpByteRangeNotSupported = 210,
  kStatusDownloadInvalidConfiguration = 211,
  kStatusProxyAuthenticationRequired = 212,
  kStatusDownloadHttpInvalidUrl = 213,
  kStatusDownloadDataValidationError = 214,
  kStatusCancelled = 215,
};

// The product installation's own codes, a space apart from the statuses above: the applet host
// reports them in its progress records, and the product-error alert shows them as "C<code>".
enum ProductInstallError : int {
  kProductErrorBadDocument = 104,  // the products document or one of its products is unusable
  kProductErrorHttp = 113,
  kProductErrorExtraction = 114,
  kProductErrorNetworkUnavailable = 118,
  kProductErrorDiskFull = 120,
  kProductErrorProxyAuthentication = 124,
  kProductErrorCancelled = 205,
};

// "PIM_STATUS_..." for a code of the table, else the number as text.
std::string installerStatusName(int code);
