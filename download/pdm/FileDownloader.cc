#include "download/pdm/FileDownloader.h"

#include "download/engine/DownloadGlobalData.h"
#include "download/engine/segments/Segment.h"
#include "download/pdm/common/PDMLogger.h"
#include "foundation/threads/LockableObject.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr const char* kTag = "PDMWorkflowManager";

// The engine library shared by every file downloader of the process.
struct SharedLibrary {
  pando::LockableObject lock{"PDMWorkflowManager::FileDownloader::gdeLibRef"};
  gde::DLELibRef* reference = nullptr;  // guarded by lock
  uint32_t users = 0;                   // guarded by lock
};

SharedLibrary& sharedLibrary() {
  static SharedLibrary library;
  return library;
}

}  // namespace

FileDownloader::FileDownloader(const gde::DownloadSettings& settings) : settings_(settings) {}

FileDownloader::~FileDownloader() {
  reset();
  if (!holdsLibrary_) return;
  SharedLibrary& library = sharedLibrary();
  pando::ScopedLock lock(&library.lock);
  if (library.reference != nullptr && --library.users == 0) {
    gde::endDownloadLibrary(&library.reference);
  }
}

bool FileDownloader::setup(const std::string& url, const std::string& folder,
                           const std::string& fileName) {
  request_.serverfullpath = url;
  request_.targetFolder = folder;
  request_.targetFileName = fileName;
  if (holdsLibrary_) return true;
  SharedLibrary& library = sharedLibrary();
  pando::ScopedLock lock(&library.lock);
  if (library.reference == nullptr) {
    const int32_t result = gde::initDownloadLibrary(&library.reference);
    if (result != 0 && result != 30) return false;
  }
  ++library.users;
  holdsLibrary_ = true;
  return true;
}

void FileDownloader::setPreferences(const gde::DLEPrefStruct& preferences) {
  preferences_ = preferences;
}

const ValidatorBase* FileDownloader::setValidator(const ValidatorBase* validator) {
  const ValidatorBase* previous = validator_.load();
  if (previous == validator) return nullptr;
  validator_.store(validator);
  if (validator != nullptr) preferences_.segmentSize = validator->getSegmentSize();
  return previous;
}

void FileDownloader::storeError(int32_t type, int32_t code, bool retryable) {
  lastErrorType_.store(type);
  lastErrorCode_.store(code);
  lastErrorRetryable_.store(retryable);
}

bool FileDownloader::record(int32_t result) {
  if (result == 0) return true;
  if (handle_ == nullptr) {
    // No engine to ask: the handle itself could not be made.
    storeError(gde::kDleErrorJobCreation, result, false);
    return false;
  }
  gde::DLEErrorInfo error;
  handle_->getLastError(error);
  storeError(error.errorType, error.errorCode, error.retryable != 0);
  return false;
}

void FileDownloader::advancePhase(int32_t from, int32_t to) {
  phase_.compare_exchange_strong(from, to);
}

bool FileDownloader::prepare() {
  if (phase_.load() == kNoHandle) {
    gde::DLELibRef* library = nullptr;
    {
      pando::ScopedLock lock(&sharedLibrary().lock);
      library = sharedLibrary().reference;
    }
    if (!record(gde::createFileDownloaderWithSettings(library, &handle_, settings_))) return false;
    phase_.store(kHandleCreated);
  }
  if (phase_.load() >= kReady) {
    initialized_ = true;
    return true;
  }
  request_.keepResumeFile = 1;
  request_.preferences = preferences_;
  if (!registered_) {  // a prepare retried on the same handle must not hear each event twice
    handle_->registerIntercept(gde::kEventProgress, this);
    handle_->registerIntercept(gde::kEventSegmentReceived, this);
    handle_->registerIntercept(gde::kEventError, this);
    registered_ = true;
  }
  if (!record(handle_->init(request_))) return false;
  phase_.store(kRequestAccepted);
  if (preferences_.singleStream == 0) {
    uint64_t size = 0;
    if (!record(handle_->getRemoteFileSize(size, rangedSupported_))) return false;
    remoteSize_ = size;
  }
  phase_.store(kReady);
  initialized_ = true;
  return true;
}

bool FileDownloader::startDownload() {
  if (!initialized_) return false;
  if (!record(handle_->start())) return false;
  advancePhase(kReady, kDownloading);
  return true;
}

bool FileDownloader::pause() {
  if (!initialized_) {
    pdmLog(pando::kLogInfo, kTag, "FileDownload is not initialized. So, cannot pause it");
    return false;
  }
  if (!record(handle_->pause())) {
    pdmLog(pando::kLogInfo, kTag, "Could not pause the download");
    return false;
  }
  pdmLog(pando::kLogInfo, kTag, "Download Paused");
  advancePhase(kDownloading, kPaused);
  return true;
}

bool FileDownloader::resume() {
  if (!initialized_) {
    pdmLog(pando::kLogInfo, kTag, "Download could not be resumed isInitialize=false");
    return false;
  }
  if (record(handle_->resume())) {
    pdmLog(pando::kLogTrace, kTag, "Download Resumed");
    const int32_t phase = phase_.load();
    if (phase == kPaused || phase == kRetryableError) advancePhase(phase, kDownloading);
    return true;
  }
  pdmLog(pando::kLogWarn, kTag, "Download could not be resumed");
  phase_.store(lastErrorRetryable_.load() ? kRetryableError : kFatalError);
  return false;
}

bool FileDownloader::reset() {
  if (!initialized_ && phase_.load() == kNoHandle) return false;
  if (handle_ != nullptr) {
    handle_->stop();
    gde::closeFileDownloader(&handle_);
  }
  handle_ = nullptr;
  registered_ = false;
  initialized_ = false;
  phase_.store(kNoHandle);
  remoteSize_ = 0;
  bytesReceived_.store(0);
  return true;
}

void FileDownloader::refreshCredentials(const std::string& user, const std::string& password) {
  preferences_.prefText1 = user;
  preferences_.prefText2 = password;
  if (handle_ != nullptr) handle_->setPreference(preferences_);
}

float FileDownloader::progressPercent() const {
  if (!initialized_ || remoteSize_ == 0) return 0.0f;
  return static_cast<float>(bytesReceived_.load()) * 100.0f / static_cast<float>(remoteSize_);
}

int32_t FileDownloader::onEvent(int32_t event, const void* data, uint32_t size) {
  if (data == nullptr || size == 0) return kNoData;
  switch (event) {
    case gde::kEventSegmentReceived: {
      if (size < sizeof(gde::SegmentEventRecord)) return kNoData;
      const auto* segment = static_cast<const gde::SegmentEventRecord*>(data);
      const ValidatorBase* validator = validator_.load();
      if (validator == nullptr ||
          validator->validateSegment(segment->buffer, segment->length, segment->index)) {
        return 0;
      }
      pdmLog(pando::kLogError, kTag, "Segment %d of size %d is Invalid",
             static_cast<int>(segment->index), static_cast<int>(segment->length));
      return gde::IDleIntercept::kStopDelivery;
    }
    case gde::kEventError: {
      if (size < sizeof(gde::DLEErrorInfo)) return kNoData;
      const auto* error = static_cast<const gde::DLEErrorInfo*>(data);
      storeError(error->errorType, error->errorCode, error->retryable != 0);
      if (error->retryable != 0) {
        pdmLog(pando::kLogWarn, kTag,
               "A user retryable error has occured while downloading the file. errotType = %d "
               "extendedErrorCode = %d",
               error->errorType, error->errorCode);
        phase_.store(kRetryableError);
      } else {
        pdmLog(pando::kLogError, kTag,
               "Fatal error has occured. errotType = %d extendedErrorCode = %d", error->errorType,
               error->errorCode);
        phase_.store(kFatalError);
      }
      return 0;
    }
    case gde::kEventProgress: {
      if (size < sizeof(gde::DLEProgress)) return kNoData;
      const auto* progress = static_cast<const gde::DLEProgress*>(data);
      bytesReceived_.store(progress->bytesDownloaded);
      if (progress->state == gde::kDleStateComplete) phase_.store(kComplete);
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace orvel::PackageDownloadManager
