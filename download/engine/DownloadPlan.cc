#include "download/engine/DownloadPlan.h"

#include <cerrno>
#include <filesystem>

#include "download/engine/common/EngineLog.h"
#include "download/engine/files/EngineFileSystem.h"
#include "download/engine/files/GzipFileInflater.h"
#include "download/engine/resume/ResumeHeaders.h"

namespace gde {

namespace {

// The log keeps naming the whole download, as its readers expect.
constexpr const char* kComponent = "DownloadGlobalData";
constexpr const char* kEtagEventPrefix = "The value of ETAG for the file is ";

std::string withoutTrailingSlash(const std::string& folderPath) {
  if (!folderPath.empty() && folderPath.back() == '/') {
    return folderPath.substr(0, folderPath.size() - 1);
  }
  return folderPath;
}

}  // namespace

DownloadPlan::DownloadPlan(const DownloadSettings& settings, const EngineClock& clock,
                           const HttpSettings& httpSettings, DownloadLedger& ledger,
                           InterceptRegistry& intercepts)
    : settings_(settings),
      clock_(clock),
      ledger_(ledger),
      intercepts_(intercepts),
      session_(httpSettings) {}

bool DownloadPlan::init(const DLEInputStruct& request) {
  if (!preference_.resolveTargetPath(request)) {
    ledger_.setLastError(kDleErrorMisuse,
                         "Input parameter structure contains invalid values as preference", 0, 1);
    engineLog(pando::kLogWarn, kComponent, "failed to init the pref of GDE");
    return false;
  }
  DLEErrorInfo error;
  if (!session_.init(&preference_, error)) {
    ledger_.setLastError(error);
    engineLog(pando::kLogWarn, kComponent, "failed to init the http session");
    return false;
  }
  initialized_.store(true);
  return true;
}

void DownloadPlan::close() {
  outputFile_.close();
  metaFile_.close();
  initialized_.store(false);
}

// ---- Remote size, range and the resume decision ----

bool DownloadPlan::retrieveRemoteFileSize() {
  if (sizeRetrieved_) return true;
  HttpCommunicator communicator;
  if (!communicator.init(&session_, &preference_)) {
    EngineErrorRecord error;
    communicator.getError(error);
    ledger_.classifyIntoLastError(error);
    engineLog(pando::kLogError, kComponent, "failed to init the http downloader to get file Size");
    return false;
  }
  if (!requestGate_.enter(communicator)) return false;
  const bool planned = planFromServer(communicator);
  const bool cancelled = requestGate_.leave();
  if (!cancelled) return planned;
  sizeRetrieved_ = false;  // a probe cut short tells nothing about ranges
  engineLog(pando::kLogInfo, kComponent, "the size request was stopped");
  return false;
}

// The HEAD (retried while its errors are intermittent) and the range probe; every wait ends at a
// stop.
bool DownloadPlan::planFromServer(HttpCommunicator& communicator) {
  uint64_t size = 0;
  if (!requestRemoteSize(communicator, size)) return false;
  publishHeadReply(communicator, size);
  if (size == 0) {
    engineLog(pando::kLogInfo, kComponent,
              "Zero file size obtained from server. Changing to single stream");
    preference_.singleStreamInEffect = 1;
    sizeRetrieved_ = true;
    return true;
  }
  return decideSingleStream(communicator, size);
}

bool DownloadPlan::requestRemoteSize(HttpCommunicator& communicator, uint64_t& size) {
  ErrorRetryTracker attempts;
  EngineErrorRecord error;
  auto started = clock_.now();
  for (uint32_t attempt = 1; !communicator.getRemoteFileSize(size); ++attempt) {
    communicator.getError(error);
    if (attempts.classifyError(error) != kErrorClassRetryNow) {
      ledger_.classifyIntoLastError(error);
      engineLog(pando::kLogError, kComponent, "failed to retrieve the server file Size");
      return false;
    }
    engineLog(
        pando::kLogInfo, kComponent,
        "some intermittent error while fetching remote file size. Retrying now. Error code is %d "
        "and error type is %d",
        error.code, error.type);
    auto elapsed = clock_.now() - started;
    if (attempt >= settings_.sizeRetryAttempts || elapsed >= settings_.sizeRetryWindow) {
      engineLog(
          pando::kLogError, kComponent,
          "Retry Count: %d reached for retriving file size and total time taken in seconds is %d",
          attempt,
          static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
      ledger_.classifyIntoLastError(error);
      return false;
    }
    if (requestGate_.waitFor(settings_.sizeRetryWait)) return false;
  }
  return true;
}

// The size and validators go to the session (later requests check against them), the ETag to the
// response headers and, as event 1, to the client.
void DownloadPlan::publishHeadReply(HttpCommunicator& communicator, uint64_t size) {
  remoteFileSize_ = size;
  std::string etag;
  std::string modified;
  communicator.getResponseHeader("ETag", etag);
  communicator.getResponseHeader("Last-Modified", modified);
  session_.setPlan({size, etag, modified, true});
  if (etag.empty())
    engineLog(pando::kLogWarn, kComponent,
              "failed to retrieve the ETAG header from the head request");
  setResponseHeader("ETag", etag);
  std::string text = kEtagEventPrefix + etag;
  intercepts_.notify(kEventEtag, text.data(), static_cast<uint32_t>(text.size()));
}

// A server that does not honour the two-byte range probe is read as one stream.
bool DownloadPlan::decideSingleStream(HttpCommunicator& communicator, uint64_t size) {
  preference_.singleStreamInEffect =
      communicator.checkByteRangeAcceptanceByServer(size, false) ? 0 : 1;
  EngineErrorRecord error;
  communicator.getError(error);
  if (error.type == ERROR_FILE_CHANGED) {
    ledger_.classifyIntoLastError(error);
    return false;
  }
  engineLog(
      pando::kLogInfo, kComponent,
      "Inside retrieveRemoteFileSize. checkByteRangeAcceptanceByServer is completed . Setting "
      "isSingleStreamFileDownload preference to %d",
      preference_.singleStreamInEffect);
  sizeRetrieved_ = true;
  return true;
}

bool DownloadPlan::prepareStreamOrSize() {
  if (!preference_.prefs.singleStream) return retrieveRemoteFileSize();
  singleStreamRequested_ = true;
  remoteFileSize_ = 0;
  session_.setPlan({});
  preference_.singleStreamInEffect = 1;
  setResponseHeader("ETag", "");
  preference_.rebuildHeaderObjects();
  if (preference_.prefs.compression) {
    preference_.addHeaderObject("Accept-Encoding", "gzip");
    engineLog(pando::kLogInfo, kComponent,
              "Preference: Preference is set for adding compression header");
  }
  engineLog(pando::kLogInfo, kComponent,
            "Preference: Client has set the preference for single stream download");
  return true;
}

int32_t DownloadPlan::chooseRange(uint64_t start, uint64_t count, uint64_t size, bool singleStream,
                                  ByteRange& range) {
  if (start == 0 && (count == 0 || (singleStream && count == size))) {
    range = {0, size};
    return kDleErrorNone;
  }
  if (singleStream) return kDleErrorPartialDownloadImpossible;
  if (count == 0) count = size > start ? size - start : 0;
  // count <= size - start, never start + count <= size: the sum may wrap.
  if (start < size && count > 0 && count <= size - start) {
    range = {start, count};
    return kDleErrorNone;
  }
  return kDleErrorMisuse;
}

bool DownloadPlan::validateRange() {
  uint64_t start = preference_.prefs.downloadStartAddress;
  uint64_t count = preference_.prefs.bytesToDownload;
  uint64_t size = remoteFileSize_;
  engineLog(
      pando::kLogInfo, kComponent,
      "Validating preference for startAddress=%llu and bytesToDownload=%llu for fileSize=%llu",
      static_cast<unsigned long long>(start), static_cast<unsigned long long>(count),
      static_cast<unsigned long long>(size));
  ByteRange range;
  switch (chooseRange(start, count, size, preference_.singleStreamInEffect != 0, range)) {
    case kDleErrorNone:
      rangeStart_ = range.start;
      rangeByteCount_ = range.count;
      return true;
    case kDleErrorPartialDownloadImpossible:
      ledger_.setLastError(kDleErrorPartialDownloadImpossible,
                           "File part download is not supported by the server", 0, 1);
      return false;
    default:
      ledger_.setLastError(kDleErrorMisuse,
                           "File Part to be downloaded doesn't falls in the range of File size", 0,
                           1);
      return false;
  }
}

std::map<std::string, std::string> DownloadPlan::currentResumeHeaders() const {
  return ResumeHeaders::build(remoteFileSize_, preference_.prefs.segmentSize,
                              responseHeader("ETag"), preference_.serverFullPath, rangeStart_,
                              rangeByteCount_);
}

bool DownloadPlan::decideResume() {
  preference_.freshStart = 1;
  const std::string partial = preference_.partialFilePath();
  const std::string meta = preference_.metaFilePath();
  if (!preference_.keepResumeFile || preference_.singleStreamInEffect || !fileExists(partial) ||
      !fileExists(meta)) {
    return false;
  }
  const uint32_t lastIndex = static_cast<uint32_t>(rangeByteCount_ / preference_.prefs.segmentSize);
  std::map<std::string, std::string> stored;
  const char* refusal = nullptr;
  metaFile_.close();
  if (!metaFile_.open(meta, stoppableWait())) {
    refusal = "failed to init quarryd file in write mode.";
  } else if (!metaFile_.checkMagic()) {
    refusal = "quarryd file is not valid. And download should begin from beginning.";
  } else if (!metaFile_.readHeaders(stored, lastIndex)) {
    refusal = "Failed to get the headers from the quarryd file.";
  } else if (!ResumeHeaders::match(stored, currentResumeHeaders())) {
    refusal = "Headers are invalid in QUARRYD file. The download would resume from start now.";
  } else if (std::error_code error;
             std::filesystem::file_size(partial, error) < rangeByteCount_ || error) {
    refusal = "The partial file is shorter than the download. The download would begin again.";
  }
  if (refusal) {
    engineLog(pando::kLogInfo, kComponent, "%s", refusal);
    metaFile_.deleteMetaFile();
    return false;
  }
  preference_.freshStart = 0;
  return true;
}

StoppableWait DownloadPlan::stoppableWait() {
  return [this](std::chrono::nanoseconds duration) { return requestGate_.waitFor(duration); };
}

bool DownloadPlan::createPartialFile(const std::string& path) {
  if (fileExists(path)) {
    fileCreated_ = false;
    return true;
  }
  int error = 0;
  int tries = 0;
  for (auto wait : settings_.fileCreateRetryWaits) {
    if (requestGate_.waitFor(wait)) {
      engineLog(pando::kLogInfo, kComponent, "the creation of %s was stopped", path.c_str());
      error = ECANCELED;
      break;
    }
    if (createLocalFile(path, error)) {
      fileCreated_ = true;
      return true;
    }
    engineLog(pando::kLogError, kComponent,
              "Failed to create a file on local disk at %s. Try count: %d.", path.c_str(), ++tries);
    if (isPermanentFileError(error)) break;
  }
  recordFileSystemError(error, path, "failed to create a file on local disk at " + path + ".");
  return false;
}

bool DownloadPlan::prepareFreshFiles() {
  const std::string folder = withoutTrailingSlash(preference_.targetFolderPath);
  int error = 0;
  if (!folder.empty() && !folderExists(folder)) {
    if (!createFolder(folder, error)) {
      recordFileSystemError(error, folder,
                            "failed to create a dir - " + folder + " on local disk.");
      return false;
    }
    dirCreated_ = true;
  }
  const std::string partial = preference_.partialFilePath();
  if (!createPartialFile(partial)) return false;
  // A single stream's file is the bytes it receives, never a size announced beforehand.
  const uint64_t planned = preference_.singleStreamInEffect ? 0 : rangeByteCount_;
  if (!truncateFile(partial, planned, error)) {
    recordFileSystemError(error, partial,
                          "failed to extend the file size of " + partial + " upto " +
                              std::to_string(rangeByteCount_) + ".");
    return false;
  }
  if (!reserveFileSpace(partial, planned, error)) {
    recordFileSystemError(error, partial,
                          "failed to reserve " + std::to_string(planned) + " bytes for " + partial);
    return false;
  }
  if (!preference_.singleStreamInEffect && preference_.keepResumeFile) writeNewMetaFile();
  return true;
}

void DownloadPlan::writeNewMetaFile() {
  const std::string meta = preference_.metaFilePath();
  const uint32_t lastIndex = static_cast<uint32_t>(rangeByteCount_ / preference_.prefs.segmentSize);
  metaFile_.close();
  int error = 0;
  deleteFile(meta, error);
  if (!createLocalFile(meta, error)) {
    engineLog(pando::kLogError, kComponent, "failed to create a file (%s) on local disk.",
              meta.c_str());
  } else if (!metaFile_.open(meta, stoppableWait())) {
    engineLog(pando::kLogError, kComponent, "failed to init quarryd file in write mode.");
  } else if (!metaFile_.writeMagic()) {
    engineLog(pando::kLogError, kComponent,
              "Failed to write the meta information in the quarryd file");
  } else if (!metaFile_.writeHeaders(currentResumeHeaders(), lastIndex)) {
    engineLog(pando::kLogError, kComponent, "Failed to write the quarryd headers in the file");
  }
}

bool DownloadPlan::initializeFileDownload() {
  if (!initialized_.load()) {
    engineLog(pando::kLogWarn, kComponent,
              "DownloadGlobalData::initializeFileDownload : not initialized");
    return false;
  }
  if (targetTaken()) return false;
  if (!prepareStreamOrSize()) return false;
  if (preference_.prefs.noRetrialOnHttpErrors) {
    preference_.noRetrialInEffect = 1;
    engineLog(pando::kLogInfo, kComponent,
              "Preference: Client has set the preference for No Retrial on Specific HTTP Errors");
  }
  uint32_t maxRetryAfter = preference_.prefs.maxRetryAfter;
  if (maxRetryAfter != 0 && maxRetryAfter != DownloadPreference::kDefaultMaxRetryAfter) {
    preference_.maxRetryAfterInEffect = maxRetryAfter;
    engineLog(
        pando::kLogInfo, kComponent,
        "Preference: Client has set the preference for Max Retrial Value for Retry-After header "
        "handling. Val = %lu",
        static_cast<unsigned long>(maxRetryAfter));
  }
  if (!validateRange()) return false;
  dirCreated_ = false;
  if (!decideResume() && !prepareFreshFiles()) return false;
  outputFile_.close();
  if (!outputFile_.open(preference_.partialFilePath(), stoppableWait())) {
    ledger_.classifyIntoLastError(outputFile_.getError());
    engineLog(pando::kLogError, kComponent, "failed to init the file handle for the output file");
    return false;
  }
  ledger_.startRun();
  return true;
}

// A download whose target name is taken can never finish: it fails before its first request. A
// meta file left by a run that was killed after its rename has no partial file any more.
bool DownloadPlan::targetTaken() {
  if (!fileExists(preference_.finalFilePath())) return false;
  int error = 0;
  if (!fileExists(preference_.partialFilePath())) deleteFile(preference_.metaFilePath(), error);
  recordNameClash("rename");
  engineLog(pando::kLogError, kComponent, "The target %s exists already",
            preference_.finalFilePath().c_str());
  return true;
}

void DownloadPlan::recordFileSystemError(int code, const std::string& path,
                                         const std::string& message) {
  ledger_.recordFileSystemError(code, path);
  engineLog(pando::kLogError, kComponent, "%s", message.c_str());
}

// ---- Response headers

std::string DownloadPlan::responseHeader(const std::string& name) const {
  std::lock_guard lock(headersMutex_);
  auto found = responseHeaders_.find(name);
  return found == responseHeaders_.end() ? std::string() : found->second;
}

void DownloadPlan::setResponseHeader(const std::string& name, const std::string& value) {
  std::lock_guard lock(headersMutex_);
  responseHeaders_[name] = value;
}

bool DownloadPlan::keepsResumeRecords() const {
  return preference_.keepResumeFile && !preference_.singleStreamInEffect && metaFile_.isOpen();
}

// ---- Finishing ----

bool DownloadPlan::cleanup() {
  int error = 0;
  if (dirCreated_) {
    const std::string folder = withoutTrailingSlash(preference_.targetFolderPath);
    if (!removeFolder(folder, error)) {
      engineLog(pando::kLogError, kComponent,
                "failed to clean up the created output directory - %s", folder.c_str());
      return false;
    }
    return true;
  }
  engineLog(pando::kLogInfo, kComponent, "cleaning the output file");
  outputFile_.close();
  metaFile_.close();
  const std::string partial = preference_.partialFilePath();
  bool ok = true;
  if (fileCreated_ && !deleteFile(partial, error)) {
    engineLog(pando::kLogError, kComponent, "failed to delete the output file - %s",
              partial.c_str());
    ok = false;
  }
  if (!deleteFile(preference_.metaFilePath(), error)) {
    engineLog(pando::kLogWarn, kComponent, "[WARN] failed to delete the quarryd file");
    ok = false;
  }
  return ok;
}

std::string DownloadPlan::finishSource() const {
  bool complete = ledger_.progressState() == kDleStateComplete;
  return preference_.targetFolderPath +
         (complete ? preference_.targetFileName : preference_.tempFileName);
}

std::string DownloadPlan::finishTarget(const std::string& name) const {
  return preference_.targetFolderPath + (name.empty() ? preference_.targetFileName : name);
}

void DownloadPlan::recordNameClash(const char* verb) {
  DLEErrorInfo clash;
  clash.errorType = kDleErrorNameClash;
  clash.message = std::string("Failed to ") + verb +
                  " the file as there is already another file with that name present";
  ledger_.setLastError(clash);
}

bool DownloadPlan::moveDownloadedFile(const std::string& name) {
  const std::string source = finishSource();
  const std::string target = finishTarget(name);
  if (fileExists(target)) {
    recordNameClash("rename");
    return false;
  }
  int error = 0;
  if (!renameFile(target, source, error)) {
    ledger_.recordFileSystemError(error, target);
    return false;
  }
  return true;
}

bool DownloadPlan::gunzipDownloadedFile(const std::string& name) {
  const std::string source = finishSource();
  const std::string target = finishTarget(name);
  int error = 0;
  if (fileExists(target)) {
    recordNameClash("unzip");
    deleteFile(source, error);
    return false;
  }
  std::string reason;
  if (!GzipFileInflater::inflate(source, target, reason, error)) {
    engineLog(pando::kLogError, kComponent, "Failed in Unzipping the gzipped http response (%s)",
              reason.c_str());
    // A stream is never resumed: its bytes serve nothing once they do not inflate.
    int ignored = 0;
    deleteFile(source, ignored);
    if (error != 0) {
      ledger_.recordFileSystemError(error, target);
    } else {
      ledger_.setLastError(kDleErrorFileSystem, "Failed in Unzipping the gzipped http response", 0,
                           1);
    }
    return false;
  }
  engineLog(pando::kLogInfo, kComponent, "successfully unzipped the gzip response");
  return true;
}

}  // namespace gde
