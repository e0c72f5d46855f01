#include "download/engine/GDEHelper.h"

#include <thread>

#include "download/engine/DownloadLibrary.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/text/StringUtils.h"
#include "foundation/threads/LockableObject.h"

namespace gde {

namespace {

constexpr const char* kComponent = "GDEHelper";
constexpr int kTemporaryFilesFolder = 15;

pando::LockableObject& libraryLock() {
  static pando::LockableObject lock;
  return lock;
}

DLELibRef* sharedLibrary = nullptr;  // guarded by libraryLock(); never ended

int32_t ensureLibrary() {
  pando::ScopedLock hold(&libraryLock());
  if (sharedLibrary) return kDleResultOk;
  int32_t result = initDownloadLibrary(&sharedLibrary);
  if (result != 0) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Unable to create the dle lib ref. Error code - %d", result);
  }
  return result;
}

DLELibRef* library() {
  pando::ScopedLock hold(&libraryLock());
  return sharedLibrary;
}

}  // namespace

GDEHelper::GDEHelper(DownloadSettings settings, std::chrono::milliseconds pollInterval)
    : settings_(settings), pollInterval_(pollInterval) {}

GDEHelper::~GDEHelper() {
  releaseHandle();
}

void GDEHelper::releaseHandle() {
  if (!handle_) return;
  handle_->stop();
  closeFileDownloader(&handle_);
}

int32_t GDEHelper::createDownloader(const DLEInputStruct& request) {
  releaseHandle();
  initialized_ = false;
  if (int32_t result = ensureLibrary(); result != 0) return result;
  int32_t result = createFileDownloaderWithSettings(library(), &handle_, settings_);
  if (result != 0) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Unable to create the file downloader object. Error code - %d", result);
    releaseHandle();
    return result;
  }
  initialized_ = true;
  request_ = request;
  return kDleResultOk;
}

int32_t GDEHelper::downloadToString(std::string& out) {
  if (!initialized_) return kDleResultNotInitialized;
  if (!useTempFile_) return runDownload();
  std::string folder;
  std::string name;
  if (!FileUtils::getSpecialFolderPath(kTemporaryFilesFolder, folder) ||
      !StringUtils::utilCreateUUIDString(name)) {
    return kDleResultFileChanged;
  }
  request_.targetFolder = folder;
  request_.targetFileName = name;
  int32_t result = runDownload();
  if (result != 0) return result;
  const std::string path = folder + "/" + name;
  result = FileUtils::readFileContents(path, out) ? kDleResultOk : kDleResultFileChanged;
  FileUtils::deleteFile(path);
  return result;
}

int32_t GDEHelper::runDownload() {
  int32_t result = handle_->init(request_);
  if (result != 0) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Failed to init the file downloader object. Error code - %d", result);
    return result;
  }
  result = handle_->start();
  if (result != 0) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Failed to start the download operation. Error code - %d", result);
    handle_->getLastError(lastError_);
    handle_->stop();
    return result;
  }
  DLEProgress progress;
  while (true) {
    std::this_thread::sleep_for(pollInterval_);
    // A handle that answers "not initialised" was stopped under us.
    bool stopped = handle_->getProgress(progress) != 0;
    if (!stopped && progress.state == kDleStateComplete) {
      result = 0;
      break;
    }
    if (stopped || progress.state == kDleStateError || progress.state == kDleStateFatal ||
        progress.state == kDleStatePaused) {
      handle_->getLastError(lastError_);
      result = -999;
      break;
    }
  }
  handle_->stop();
  return result;
}

void GDEHelper::getLastError(int32_t& type, int32_t& code) const {
  type = lastError_.errorType;
  code = lastError_.errorCode;
}

}  // namespace gde
