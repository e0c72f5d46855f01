#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "download/pdm/PDMTypes.h"

class IInstallWorkflow;

namespace pando {
class AbstractLogger;
}

// What a download needs from the rest of the process. The references outlive the downloader.
struct AssetDownloaderInputs {
  AssetDownloaderInputs(ConfigStore& configStore, SharedProxyCredentials& proxy, std::string temp)
      : config(configStore), proxyCredentials(proxy), tempFolder(std::move(temp)) {}

  ConfigStore& config;
  SharedProxyCredentials& proxyCredentials;
  std::string tempFolder;                   // this run's temp folder
  pando::AbstractLogger* logger = nullptr;  // handed to the download manager
  // True once the user asked to quit (or the process is quitting): ends the poll, no error.
  std::function<bool()> quitting;
  std::chrono::milliseconds poll{100};
  orvel::PackageDownloadManager::PDMSettings manager;
};

// The package-service client: the applications document and the installer-library package, each
// through a package download manager of its own, synchronously on the caller's thread (the
// workflow thread). A failed download raises its workflow error through
// IInstallWorkflow::setError (retryable when the manager says so); a quit ends the download
// quietly with false. The intercept runs on the manager's thread and only prints progress.
class AssetDownloader final : public orvel::PackageDownloadManager::IPdmIntercept {
 public:
  AssetDownloader(IInstallWorkflow& workflow, AssetDownloaderInputs inputs);

  // The package-service URL with name=Skyloom&name=LoomLBS&osVersion=V&platform=osx10.
  std::string resolvePackageServiceURL() const;
  // Into the temp folder as "applications.xml"; `path` gets that path, whatever the outcome.
  bool downloadApplicationXml(std::string& path);
  // The package the manifest names, extracted into `workFolder`.
  bool downloadPimPackage(const std::string& manifestUrl, const std::string& workFolder);

  int32_t onEvent(const int32_t& event, const void* record, uint32_t size) override;

  // The manager's error code as an installer status code; 0 for 0.
  static int mapManagerError(int32_t code);

 private:
  enum class Outcome { kDone, kFailed, kQuit };
  Outcome run(const orvel::PackageDownloadManager::PDMInitData& request, bool isLibrary,
              orvel::PackageDownloadManager::PDMStatus& status);
  orvel::PackageDownloadManager::PDMInitData request(int32_t workflowId, const std::string& url);

  IInstallWorkflow& workflow_;
  const AssetDownloaderInputs inputs_;
};
