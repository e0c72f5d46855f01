#include "core/workflow/WorkflowAlerts.h"

#include <map>

#include "core/workflow/InstallerStatus.h"
#include "foundation/xml/XMLParser.h"

namespace {

// How an error alert of the product installation shows.
struct ProductAlert {
  const char* errorType;
  const char* errorTitle;
  enum Param { kNoParam, kProductName, kDriveName, kConflictingProcess, kMoreInfo } param;
  int mode;  // -1: the record's resumable flag
};

using P = ProductAlert;
// The alerts several codes share.
constexpr ProductAlert kInvalidFile{"ProductInstallationInvalidFile", "", P::kNoParam, 0};
constexpr ProductAlert kInitFailed{"ProductInstallationInitializeFailed", "", P::kProductName, -1};
constexpr ProductAlert kHttpError{"ProductInstallationgenericHTTPError",
                                  "ProductInstallationTitlegenericHTTPError", P::kNoParam, -1};
constexpr ProductAlert kExtraction{"ProductInstallationgenericExtractionErr", "", P::kNoParam, -1};
constexpr ProductAlert kDiskSpace{"ProductInstallationdiskSpaceErr",
                                  "ProductInstallationTitlediskSpaceErr", P::kDriveName, -1};
constexpr ProductAlert kSymlink{"ProductInstallationSymlinkCreateError", "", P::kProductName, -1};

// Every other code shows kInitFailed.
const ProductAlert& productAlertFor(int code) {
  static const std::map<int, ProductAlert> rows = {
      {kProductErrorBadDocument, kInvalidFile},
      {107, kInvalidFile},
      {115, kInvalidFile},
      {116, kInvalidFile},
      {117, kInvalidFile},
      {126, kInvalidFile},
      {128, kInvalidFile},
      {139, kInvalidFile},
      {143, kInvalidFile},
      {209, kInvalidFile},
      {105, kInitFailed},
      {108, {"ProductInstallationmsiRunningErr", "", P::kNoParam, 0}},
      {kProductErrorHttp, kHttpError},
      {122, kHttpError},
      {123, kHttpError},
      {125, kHttpError},
      {kProductErrorExtraction, kExtraction},
      {127, kExtraction},
      {kProductErrorNetworkUnavailable,
       {"ProductInstallationnetworkUnavailable", "ProductInstallationTitlegenericHTTPError",
        P::kNoParam, -1}},
      {119,
       {"ProductInstallationnetworkUnavailableRetry", "ProductInstallationTitlegenericHTTPError",
        P::kNoParam, -1}},
      {kProductErrorDiskFull, kDiskSpace},
      {203, kDiskSpace},
      {121, {"ProductInstallationwriteErrorNew", "", P::kNoParam, 0}},
      {131,
       {"ProductInstallationconflictingProcessErr", "ProductInstallationTitleConflict",
        P::kConflictingProcess, 2}},
      {138, {"ProductInstallationNoMemoryError", "", P::kNoParam, 0}},
      {145, {"ProductInstallationFileAlreadyExist", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {146, {"ProductInstallationFileMoveError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {147, {"ProductInstallationFileCopyError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {149, {"ProductInstallationFolderDelError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {150, {"ProductInstallationFileDelError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {151, kSymlink},
      {156, kSymlink},
      {160,
       {"ProductInstallationRegistryError", "ProductInstallationTitleRegistryError", P::kNoParam,
        -1}},
      {202, {"ProductInstallationpathUnavailableFatal", "", P::kNoParam, 0}},
      {204, {"ProductInstallationmaxPathErr", "", P::kNoParam, 0}},
      {206, {"ProductInstallationsystemReqErr", "", P::kProductName, 0}},
      {207, {"ProductInstallationbetaVersionErr", "", P::kProductName, 0}},
      {208, {"ProductInstallationSyncFailureError", "", P::kProductName, 0}},
      {301, {"ProductInstallationDLLPatchRequiredErr", "", P::kProductName, 0}},
  };
  auto found = rows.find(code);
  return found == rows.end() ? kInitFailed : found->second;
}

// The path alerts of the product installation; their retry mode is always 1.
struct PathAlert {
  const char* title;
  const char* text;
  bool productParam;
};

const PathAlert* pathAlertFor(int code) {
  static const std::map<int, PathAlert> rows = {
      {133, {"ProductInstallationTitlediskSpaceErr", "ProductInstallationdiskSpaceErr3", false}},
      {140,
       {"ProductInstallationTitleRegistryError", "ProductInstallationaccessPermissionErrNew",
        true}},
      {179, {"ProductInstallationTitleInvalidPath", "ProductInstallationNotFullPathError", false}},
      {181, {"ProductInstallationTitleInvalidPath", "ProductInstallationNotFullPathError", false}}};
  auto found = rows.find(code);
  return found == rows.end() ? nullptr : &found->second;
}

// The text of `query` in the XML text; "" when it is not XML or has no such element.
std::string xmlValue(const char* xml, const char* query) {
  if (!xml || !*xml) return "";
  XMLParser parser;
  std::string value;
  if (!parser.initWithXMLString(xml) || !parser.stringValueForXQuery(query, value)) return "";
  return value;
}

}  // namespace

const char* errorTextId(int status, bool retry) {
  static const std::map<int, const char*> table = {
      {kStatusPackageNotGenuine, "TarnInstallBriskFailed"},
      {kStatusIncompatibleOs, "InitErrorIncompatibleOS"},
      {kStatusCaseSensitiveVolume, "InitErrorCaseSensitiveVolume"},
      {kStatusInsufficientFreeDiskSpace, "TarnInstallErrorDiskSpace"},
      {kStatusNoAdminPrivilege, "TarnInstallAdminError"},
      {kStatusFileNotFound, "TarnInstallFileAccessErrorInstall"},
      {kStatusFileCorrupted, "TarnInstallFileAccessErrorInstall"},
      {kStatusFileCopyError, "TarnInstallFileCopyErrorInstall"},
      {kStatusFileCreateError, "TarnInstallFileCreateErrorInstall"},
      {kStatusFileDeleteError, "TarnInstallFileAccessErrorInstall"},
      {kStatusFileExtractionError, "TarnInstallFileAccessErrorInstall"},
      {kStatusFileSetPermissionsError, "TarnInstallFileAccessErrorInstall"},
      {kStatusCorruptedApplicationXml, "TarnInstallFileAccessErrorInstall"},
      {kStatusFileCorruptedPimx, "TarnInstallFileAccessErrorInstall"},
      {kStatusLbsRunningFromNetworkPath, "InitErrorNetworkPath"},
      {kStatusPimValidationFailure, "TarnInstallBriskFailed"},
      {kStatusLoomHelperValidationFailure, "TarnInstallBriskFailed"},
      {kStatusOrvelInstallerRunning, "InitErrorAnotherInstallerRunning"},
      {kStatusQuarryRunning, "TarnInstallWaitOrCloseOtherInstances"},
      {kStatusQuarryCloseError, "TarnInstallWaitOrCloseOtherInstances"},
      {kStatusNotifierRunning, "TarnInstallWaitOrCloseOtherInstancesNotifier"},
      {kStatusNotifierCloseError, "TarnInstallWaitOrCloseOtherInstancesNotifier"},
      {kStatusTarnRunning, "TarnInstallWaitOrCloseOtherInstancesCorvel"},
      {kStatusMsiInstallerRunning, "TarnInstallAnotherMSIRunning"},
      {kStatusQuarryDetectPluginLoaded, "TarnInstallOrvelDetecPluginLoaded"},
      {kStatusDownloadError, "TarnInstallErrorDownloadError"},
      {kStatusDownloadExtractionError, "TarnDownloadExtractionError"},
      {kStatusDownloadSignCheckError, "TarnInstallBriskFailed"},
      {kStatusDownloadFileHandlingError, "TarnInstallFileAccessError"},
      {kStatusDownloadInvalidFile, "TarnInstallBriskFailed"},
      {kStatusNetworkUnavailable, "TarnInstallNetworkUnavailable"},
      {kStatusDownloadServerUnresponsive, "TarnInstallDownloadServerErr"},
      {kStatusDownloadOutputDiskFull, "TarnInstallDownloadDiskSpaceErr"},
      {kStatusDownloadWritePermission, "TarnInstallDownloadPermisionErr"},
      {kStatusDownloadHttpByteRangeNotSupported, "TarnInstallErrorDownloadError"},
      {kStatusDownloadInvalidConfiguration, "TarnInstallErrorDownloadError"},
      {kStatusDownloadHttpInvalidUrl, "TarnInstallErrorDownloadError"},
      {kStatusDownloadDataValidationError, "TarnInstallBriskFailed"},
  };
  if (status == kStatusProxyAuthenticationRequired && !retry) {
    return "TarnInstallDownloadResumableErr";
  }
  auto found = table.find(status);
  return found == table.end() ? "InitErrorGeneric" : found->second;
}

ProductErrorAlert productErrorAlert(const AppsPanelProgress& record, const std::string& productName,
                                    bool proxyStored) {
  using Kind = ProductErrorAlert::Kind;
  ProductErrorAlert out;
  out.code = "C" + std::to_string(record.errorCode);
  if (record.errorCode == kProductErrorProxyAuthentication) {
    out.kind = proxyStored ? Kind::kProxyRetry : Kind::kProxyPrompt;
    return out;
  }
  if (const PathAlert* path = pathAlertFor(record.errorCode)) {
    out.kind = Kind::kPathAlert;
    out.title = path->title;
    out.text = path->text;
    out.param = path->productParam ? productName : "";
    out.retryMode = 1;
    return out;
  }
  const ProductAlert& alert = productAlertFor(record.errorCode);
  out.kind = Kind::kErrorAlert;
  out.text = alert.errorType;
  out.title = alert.errorTitle;
  out.mode = alert.mode < 0 ? (record.isErrorResumable ? 1 : 0) : alert.mode;
  // The conflicting-process alert offers "continue" but retries like any other.
  out.retryMode = out.mode == 2 ? 1 : out.mode;
  out.appendParamsAtEnd = alert.param == ProductAlert::kConflictingProcess;
  switch (alert.param) {
    case ProductAlert::kProductName:
      out.param = productName;
      break;
    case ProductAlert::kDriveName:
      out.param = xmlValue(record.errorParamXML, "//driveName");
      break;
    case ProductAlert::kConflictingProcess:
      out.param = xmlValue(record.errorParamXML, "//conflictingProcess");
      break;
    case ProductAlert::kMoreInfo:
      out.moreInfoLink = record.moreInfoLink ? record.moreInfoLink : "";
      break;
    case ProductAlert::kNoParam:
      break;
  }
  return out;
}

void installLocationErrorIds(const std::string& error, std::string& titleId, std::string& textId) {
  static const std::map<std::string, const char*> texts = {
      {"1", "InstallLocationRootPathErr"},          {"2", "InstallLocationMaxPathErr"},
      {"3", "InstallLocationFlashPathErr"},         {"4", "InstallLocationNetworkPathErr"},
      {"5", "InstallLocationCaseSensitivePathErr"}, {"6", "InstallLocationLockedPathErr"}};
  auto found = texts.find(error);
  textId = found == texts.end() ? "InstallLocationGenericErr" : found->second;
  titleId = error == "6" ? "InstallLocationTitleLockedPathErr" : "InstallLocationTitleGenericErr";
}
