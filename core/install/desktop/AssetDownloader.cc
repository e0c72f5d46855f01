#include "core/install/desktop/AssetDownloader.h"

#include <cstdio>
#include <map>
#include <thread>

#include "core/config/ServiceUrls.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowSteps.h"
#include "download/pdm/PackageDownloader.h"
#include "download/pdm/common/PDMLogger.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/HardwareUtils.h"
#include "platform/network/CurlPolicy.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

constexpr pando::ComponentLog kLog{"AssetDownloader"};

}  // namespace

AssetDownloader::AssetDownloader(IInstallWorkflow& workflow, AssetDownloaderInputs inputs)
    : workflow_(workflow), inputs_(std::move(inputs)) {}

std::string AssetDownloader::resolvePackageServiceURL() const {
  HardwareUtils::OSVersion os;
  HardwareUtils::GetCurrentOSVersion(os);
  const std::multimap<std::string, std::string> query = {
      {"name", "Skyloom"},
      {"name", "LoomLBS"},
      {"platform", "osx10"},
      {"osVersion", std::to_string(os.majorVersion) + "." + std::to_string(os.minorVersion) + "." +
                        std::to_string(os.patchVersion)}};
  std::string url = GetPackageServiceUrl(inputs_.config);
  char separator = '?';
  for (const auto& [key, value] : query) {
    url += separator + key + "=" + value;
    separator = '&';
  }
  kLog(pando::kLogInfo, "The resolved URL for package service is %s", url.c_str());
  return url;
}

pdm::PDMInitData AssetDownloader::request(int32_t workflowId, const std::string& url) {
  pdm::PDMInitData data;
  data.workflowId = workflowId;
  data.initiatorURL = url;
  data.validateSignature = 0;
  data.intercept = this;
  const ProxyCredentials proxy = inputs_.proxyCredentials.get();
  if (!proxy.userName.empty()) {
    data.preferences.prefText1 = proxy.userName;
    data.preferences.prefText2 = proxy.password;
  }
  return data;
}

bool AssetDownloader::downloadApplicationXml(std::string& path) {
  path = inputs_.tempFolder;
  FileUtils::appendPathComponent(path, "applications.xml");
  FileUtils::deleteFile(path);
  pdm::PDMInitData data = request(pdm::kWorkflowSingleFile, resolvePackageServiceURL());
  data.operationURL = inputs_.tempFolder;
  data.targetFileName = "applications.xml";
  data.preferences.singleStream = true;
  pdm::PDMStatus status;
  return run(data, false, status) == Outcome::kDone;
}

bool AssetDownloader::downloadPimPackage(const std::string& manifestUrl,
                                         const std::string& workFolder) {
  // libcurl guesses a scheme for "lbs/m.xml" and looks "lbs" up as a host.
  if (!platform::isHttpUrl(manifestUrl)) {
    kLog(pando::kLogError, "Failed to initialize LoomLBS asset downloader");
    workflow_.setError(kStatusError, false);
    return false;
  }
  pdm::PDMInitData data = request(pdm::kWorkflowPackageByURL, manifestUrl);
  data.operationURL = workFolder;
  pdm::PDMStatus status;
  return run(data, true, status) == Outcome::kDone;
}

AssetDownloader::Outcome AssetDownloader::run(const pdm::PDMInitData& data, bool isLibrary,
                                              pdm::PDMStatus& status) {
  pdm::PDMLogger::instance().setLogger(inputs_.logger, "Bootstrapper");
  pdm::PackageDownloader downloader(inputs_.manager);
  if (downloader.init(data) != pdm::kPdmOk) {
    if (isLibrary) kLog(pando::kLogError, "Failed to initialize LoomLBS asset downloader");
    workflow_.setError(kStatusError, false);
    return Outcome::kFailed;
  }
  if (downloader.start() != pdm::kPdmOk) {
    if (isLibrary) kLog(pando::kLogError, "Failed to start LoomLBS asset download");
    workflow_.setError(kStatusError, false);
    return Outcome::kFailed;
  }
  pdm::PDMProgress progress;
  for (;;) {
    downloader.getProgress(progress);
    downloader.getStatus(status);
    const bool settled = progress.status == pdm::kStatusPausedOnError ||
                         progress.status == pdm::kStatusFatal ||
                         progress.status == pdm::kStatusComplete;
    std::this_thread::sleep_for(inputs_.poll);
    if (settled) break;
    // Destroying the downloader cancels the run; the declined quit reruns the step.
    if (inputs_.quitting && inputs_.quitting()) return Outcome::kQuit;
  }
  if (!isLibrary) downloader.getStatus(status);
  if (isLibrary) {
    const char* format = progress.status == pdm::kStatusPausedOnError
                             ? "PDM paused with error in downloading PIM with error %d"
                         : progress.status == pdm::kStatusFatal
                             ? "PDM stopped with fatal error in downloading PIM with error %d"
                             : "PDM completed with error in downloading PIM with error %d";
    kLog(progress.status == pdm::kStatusComplete ? pando::kLogInfo : pando::kLogError, format,
         status.errorCode);
  }
  if (status.errorCode == pdm::kPdmErrorNone) return Outcome::kDone;
  workflow_.setError(mapManagerError(status.errorCode), status.retryable != 0);
  return Outcome::kFailed;
}

int32_t AssetDownloader::onEvent(const int32_t& event, const void* record, uint32_t size) {
  if (event == kEventProgress && record && size >= sizeof(pdm::PDMProgress)) {
    std::printf("Progress of PDM is %d\n", static_cast<const pdm::PDMProgress*>(record)->percent);
    std::fflush(stdout);
  }
  return 0;
}

int AssetDownloader::mapManagerError(int32_t code) {
  // -4 to -60: the engine's own error types, which a failed transfer keeps.
  static const std::map<int32_t, int> table = {
      {pdm::kPdmErrorNone, kStatusSuccess},
      {pdm::kPdmErrorDocument, kStatusDownloadDataValidationError},
      {-4, kStatusDownloadHttpInvalidUrl},
      {-8, kStatusProxyAuthenticationRequired},
      {-10, kStatusDownloadInvalidConfiguration},
      {-15, kStatusDownloadHttpByteRangeNotSupported},
      {-20, kStatusDownloadWritePermission},
      {-30, kStatusDownloadOutputDiskFull},
      {-45, kStatusDownloadServerUnresponsive},
      {-50, kStatusNetworkUnavailable},
      {-60, kStatusDownloadInvalidFile},
      {pdm::kPdmErrorFileSystem, kStatusDownloadFileHandlingError},
      {pdm::kPdmErrorSignature, kStatusDownloadSignCheckError},
      {pdm::kPdmErrorExtraction, kStatusFileExtractionError},
  };
  const auto found = table.find(code);
  return found == table.end() ? kStatusDownloadError : found->second;
}
