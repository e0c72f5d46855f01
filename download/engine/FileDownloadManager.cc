#include "download/engine/FileDownloadManager.h"

#include <algorithm>

#include "download/engine/SegmentPlanner.h"
#include "download/engine/common/EngineLog.h"
#include "download/engine/files/EngineFileSystem.h"
#include "download/engine/http/HttpText.h"

namespace gde {

namespace {

constexpr const char* kComponent = "FileDownloadManager";
constexpr const char* kNotInitialized = "download yet not initialized";
constexpr const char* kRunning =
    "download is in running state. Should be paused before any preference can be set";
constexpr uint32_t kTicksPerCycle = 100;

}  // namespace

FileDownloadManager::FileDownloadManager(const DownloadSettings& settings, const EngineClock& clock,
                                         const HttpSettings& httpSettings)
    : settings_(settings),
      clock_(clock),
      data_(settings, clock, httpSettings),
      pool_(settings),
      hangWatch_(settings.hangTimeout, settings.deadConnectionLimit) {}

FileDownloadManager::~FileDownloadManager() {
  stop();
  std::thread stopped;
  {
    std::lock_guard lock(mutex_);
    stopped = std::move(stoppedFromWithin_);
  }
  if (stopped.joinable()) stopped.join();
}

int32_t FileDownloadManager::init(const DLEInputStruct& request) {
  std::lock_guard lock(mutex_);
  if (state_.load() != kDleStateStopped || initialized_.load()) {
    engineLog(pando::kLogTrace, kComponent, "FileDownloadManager::init : already initialized");
    return kDleResultAlreadyDone;
  }
  if (!data_.init(request)) return kDleResultFailed;
  initialized_.store(true);
  state_.store(kDleStateStopped);
  const DownloadPreference& preference = data_.plan().preference();
  engineLog(pando::kLogInfo, kComponent, "The file to be downloaded is %s",
            loggableUrl(preference.serverFullPath).c_str());
  engineLog(pando::kLogInfo, kComponent, "Going to download the file at %s/%s",
            preference.targetFolderPath.c_str(), preference.targetFileName.c_str());
  return kDleResultOk;
}

// ---- start ----

void FileDownloadManager::joinUnlocked(std::unique_lock<std::mutex>& lock, std::thread thread) {
  lock.unlock();
  thread.join();
  lock.lock();
}

int32_t FileDownloadManager::failStart(std::unique_lock<std::mutex>& lock, int32_t result) {
  std::thread ended = stopLocked();
  lock.unlock();
  if (ended.joinable()) ended.join();
  return result;
}

int32_t FileDownloadManager::planSegments() {
  DownloadPreference& preference = data_.plan().preference();
  if (!preference.freshStart) {
    if (SegmentPlanner::rebuildFromMetaFile(data_) == kDleResultOk) return kDleResultOk;
    data_.getJobPool().clear();
    data_.ledger().setProgressState(kDleStateStopped);
    data_.plan().writeNewMetaFile();
  }
  int32_t result = SegmentPlanner::cutFresh(data_);
  if (result == kDleResultOk) preference.freshStart = 1;
  return result;
}

bool FileDownloadManager::startSerializer() {
  serializer_ = std::make_unique<WorkerThread>(settings_);
  if (!serializer_->init(JobPoolContainer::kSerialization, &data_.getJobPool())) {
    engineLog(pando::kLogError, kComponent, "failed to init file serializer thread");
    return false;
  }
  if (!serializer_->run()) return false;
  serializer_->resume();
  engineLog(pando::kLogInfo, kComponent, "file serializer thread id is %d", 0);
  return true;
}

int32_t FileDownloadManager::start() {
  std::unique_lock lock(mutex_);
  engineLog(pando::kLogInfo, kComponent, "Starting download.");
  startTime_ = clock_.now();
  if (!initialized_.load()) {
    data_.ledger().setLastError(kDleErrorMisuse, kNotInitialized, 0, 1);
    return kDleResultNotInitialized;
  }
  int32_t state = state_.load();
  if (state != kDleStateStopped && state != kDleStateComplete) {
    data_.ledger().setLastError(kDleErrorMisuse, kRunning, 0, 1);
    return kDleResultAlreadyDone;
  }
  if (downloadThread_.joinable()) {
    engineLog(pando::kLogInfo, kComponent,
              "FileDownloadManager::runThisThread thread is already running. Closing it first");
    run_->stop.request();
    joinUnlocked(lock, std::move(downloadThread_));
  }
  if (stoppedFromWithin_.joinable() && stoppedFromWithin_.get_id() != std::this_thread::get_id()) {
    joinUnlocked(lock, std::move(stoppedFromWithin_));
  }
  if (!data_.plan().initializeFileDownload()) {
    engineLog(pando::kLogError, kComponent, "failed to init the global file data for downloading");
    return kDleResultFailed;
  }
  if (int32_t result = planSegments(); result != kDleResultOk) {
    DLEErrorInfo error;
    error.errorType = kDleErrorJobCreation;
    error.errorClass = kErrorClassFatal;
    error.message = "Failed to create the download jobs for the current file. Some unknown error.";
    data_.ledger().setLastError(error);
    return failStart(lock, result);
  }
  if (!startSerializer()) return failStart(lock, kDleResultFailed);
  // The preference keeps the wanted count: a later start may have more segments to share out.
  const uint32_t threads = std::max(1u, std::min(data_.plan().preference().prefs.threadCount,
                                                 data_.ledger().outstandingSegments()));
  data_.activity().resetIdle(threads);
  engineLog(pando::kLogInfo, kComponent, "Number of downloader threads are %d", threads);
  data_.notifyIntercepts(kEventStarted, nullptr, 0);
  if (!pool_.init(threads, data_.getJobPool())) {
    engineLog(pando::kLogError, kComponent, "failed to init thread pool");
    return failStart(lock, kDleResultFailed);
  }
  state_.store(kDleStateRunning);
  data_.ledger().setProgressState(kDleStateRunning);
  engineLog(pando::kLogInfo, kComponent, "starting the mac thread");
  run_ = std::make_shared<Run>();
  try {
    downloadThread_ = std::thread(&FileDownloadManager::downloadThreadProc, this, run_);
  } catch (const std::system_error& error) {
    engineLog(pando::kLogError, kComponent,
              "failed to create the file download thread. Fatal Error. %d", error.code().value());
    return failStart(lock, kDleResultFailed);
  }
  return kDleResultOk;
}

// ---- pause, resume, stop ----

void FileDownloadManager::pauseLocked() {
  state_.store(kDleStatePauseRequested);
  data_.backlog().wakeUp();
  pool_.pauseAll();
  if (serializer_) {
    serializer_->pause();
    serializer_->waitUntilPaused();
  }
  state_.store(kDleStatePaused);
  data_.ledger().setProgressState(kDleStatePaused);
  data_.resetSingleStreamProgress();
}

int32_t FileDownloadManager::pause() {
  std::lock_guard lock(mutex_);
  if (!initialized_.load()) return kDleResultNotInitialized;
  if (state_.load() != kDleStateRunning) {
    engineLog(pando::kLogTrace, kComponent, "DLE is not running. so, cannot pause it now");
    return kDleResultNotRunning;
  }
  pauseLocked();
  return kDleResultOk;
}

int32_t FileDownloadManager::resume() {
  std::lock_guard lock(mutex_);
  if (!initialized_.load()) return kDleResultNotInitialized;
  data_.plan().renewSession();
  int32_t state = state_.load();
  if (state != kDleStatePaused && state != kDleStatePauseRequested) {
    engineLog(pando::kLogTrace, kComponent, "dle is not paused. So, no need to resume");
    return kDleResultOk;
  }
  if (!data_.plan().responseHeader("ETag").empty()) {
    std::string current;
    const EtagCheck::Result check = EtagCheck::compare(data_, current);
    if (check == EtagCheck::Result::kFailed || check == EtagCheck::Result::kCancelled) {
      return kDleResultRequestFailed;
    }
    if (check == EtagCheck::Result::kChanged) {
      engineLog(pando::kLogInfo, kComponent,
                "The new ETAG (%s) is different from the previous ETAG value (%s). So, the current "
                "download is invalid.",
                current.c_str(), data_.plan().responseHeader("ETag").c_str());
      DLEErrorInfo error = data_.ledger().lastError();
      error.errorType = kDleErrorFileChanged;
      error.errorClass = kErrorClassFileChanged;
      error.message =
          "The file has changed on the server. Please close this workflow and try again.";
      data_.ledger().setLastError(error);
      return kDleResultFileChanged;
    }
  }
  state_.store(kDleStateRunning);
  pool_.resumeActive();
  if (serializer_) serializer_->resume();
  data_.ledger().setProgressState(kDleStateRunning);
  return kDleResultOk;
}

std::thread FileDownloadManager::stopLocked() {
  if (run_) run_->stop.request();
  int32_t state = state_.load();
  if (state != kDleStateComplete && state != kDleStateStopped && state != kDleStateStopping &&
      state != kDleStateError) {
    engineLog(pando::kLogInfo, kComponent,
              "download is not complete and hence stopping the download now");
    stopSerializerAndClose();
  }
  pool_.stopAll();
  serializer_.reset();
  std::thread ended = std::move(downloadThread_);
  if (ended.get_id() == std::this_thread::get_id()) {
    // An intercept on the download thread stopped it: it still runs on the manager until it
    // returns, so it is joined later, by the next start or the destructor.
    stoppedFromWithin_ = std::move(ended);
  }
  state_.store(kDleStateStopped);
  data_.ledger().setProgressState(kDleStateStopped);
  initialized_.store(false);
  return ended;
}

int32_t FileDownloadManager::stop() {
  std::thread ended;
  {
    RequestGate::Cancellation cancellation(data_.plan().requestGate());
    std::lock_guard lock(mutex_);
    if (!initialized_.load()) return kDleResultOk;
    ended = stopLocked();
  }
  if (ended.joinable()) ended.join();
  return kDleResultOk;
}

int32_t FileDownloadManager::stopSerializerAndClose() {
  if (!initialized_.load()) return kDleResultNotInitialized;
  state_.store(kDleStateStopping);
  pool_.stopAll();
  if (serializer_) {
    if (!serializer_->requestStop()) {
      engineLog(pando::kLogError, kComponent, "Failed to terminate the file serializer thread.");
    }
    engineLog(pando::kLogInfo, kComponent, "waiting to terminate file serializer job");
    serializer_->stop();
  }
  int32_t result = kDleResultOk;
  if (!data_.close()) {
    engineLog(pando::kLogError, kComponent, "failed to close the download global data");
    result = kDleResultRequestFailed;
  }
  state_.store(kDleStateStopped);
  data_.ledger().setProgressState(kDleStateStopped);
  return result;
}

// ---- queries ----

int32_t FileDownloadManager::setPreference(const DLEPrefStruct& preferences) {
  std::lock_guard lock(mutex_);
  if (!initialized_.load()) {
    data_.ledger().setLastError(kDleErrorMisuse, kNotInitialized, 0, 1);
    return kDleResultNotInitialized;
  }
  if (state_.load() == kDleStateRunning) {
    data_.ledger().setLastError(kDleErrorMisuse, kRunning, 0, 1);
    return kDleResultRunning;
  }
  if (!data_.plan().setPreference(preferences)) {
    data_.ledger().setLastError(
        kDleErrorMisuse, "Input parameter structure contains invalid values as preference", 0, 1);
    return kDleResultFailed;
  }
  return kDleResultOk;
}

// A stop cuts the size request short through the request gate.
int32_t FileDownloadManager::getRemoteFileSize(uint64_t& size, uint8_t& ranged) {
  std::lock_guard lock(mutex_);
  if (!initialized_.load()) return kDleResultNotInitialized;
  if (!data_.plan().retrieveRemoteFileSize()) return kDleResultRequestFailed;
  size = data_.remoteFileSize();
  ranged = data_.plan().preference().singleStreamInEffect ? 0 : 1;
  return kDleResultOk;
}

int32_t FileDownloadManager::getProgress(DLEProgress& out) const {
  if (!initialized_.load()) return kDleResultNotRunning;
  out = data_.ledger().progress();
  return kDleResultOk;
}

int32_t FileDownloadManager::getLastError(DLEErrorInfo& out) const {
  out = data_.ledger().lastError();
  return kDleResultOk;
}

int32_t FileDownloadManager::registerIntercept(int32_t event, IDleIntercept* intercept) {
  data_.registerIntercept(event, intercept);
  return kDleResultOk;
}

// A failed check counts as a change, but one cut short by a stop tells nothing: the partial file
// stays for a later resume.
bool FileDownloadManager::hasETagChanged() {
  std::string current;
  const EtagCheck::Result check = EtagCheck::compare(data_, current);
  return check == EtagCheck::Result::kChanged || check == EtagCheck::Result::kFailed;
}

// ---- the download thread ----

void FileDownloadManager::activateFirstThreads() {
  if (!data_.plan().preference().adaptiveThreadRamp) {
    pool_.activateAll();
    return;
  }
  // Half of the threads (the larger half) start; the controller adds the rest when they help.
  for (uint32_t i = 0; i < pool_.threadCount(); i += 2) pool_.activateNext();
}

bool FileDownloadManager::lockForRun(const Run& run, std::unique_lock<std::mutex>& lock) {
  lock = std::unique_lock(mutex_, std::defer_lock);
  while (!lock.try_lock()) {
    if (run.stop.waitFor(std::chrono::milliseconds(1))) return false;
  }
  if (!run.stop.requested()) return true;
  lock.unlock();
  return false;
}

void FileDownloadManager::downloadThreadProc(std::shared_ptr<Run> run) {
  AdaptiveThreadController controller(data_, clock_);
  activateFirstThreads();
  hangWatch_.reset();
  adjustTickCount_ = 0;
  const bool adaptive = data_.plan().preference().prefs.useAdaptiveAlgorithm;
  const auto tick = std::max(settings_.tick, DownloadSettings::Millis{1});
  bool finished = false;
  for (uint32_t c = 0; !finished;) {
    c = (c + 1) % kTicksPerCycle;
    if (run->stop.waitFor(tick)) return;
    if (c % 20 == 0 && initialized_.load()) sendProgress();
    if (c == 10) reportStatistics();
    int32_t pauseRequested = kDleStatePauseRequested;
    if (state_.compare_exchange_strong(pauseRequested, kDleStatePaused)) {
      data_.ledger().setProgressState(kDleStatePaused);
    }
    int32_t state = state_.load();
    if (state == kDleStatePaused) {
      if (run->stop.waitFor(settings_.pausedTick)) return;
      continue;
    }
    if (state != kDleStateRunning) return;
    if (data_.ledger().outstandingSegments() == 0) {
      complete(*run);
      return;
    }
    if (c % 50 == 0) finished = handleDownloadError(*run);
    if (finished || data_.plan().preference().singleStreamInEffect) continue;
    if (c == 20) cancelHungJobs();
    bool adjustNow = adaptive ? (c == 33 || c == 66 || c == 99) : c == 50;
    if (adjustNow) adjustActiveThreads(controller);
  }
}

void FileDownloadManager::sendProgress() {
  DLEProgress progress = data_.ledger().progress();
  data_.notifyIntercepts(kEventProgress, &progress, sizeof progress);
}

void FileDownloadManager::sendLastError() {
  DLEErrorInfo error = data_.ledger().lastError();
  data_.notifyIntercepts(kEventError, &error, sizeof error);
}

bool FileDownloadManager::handleDownloadError(const Run& run) {
  DLEErrorInfo info;
  uint32_t key = 0;
  int32_t action = data_.ledger().nextErrorAction(info, key);
  if (action == kErrorClassNone) return false;
  data_.resetSingleStreamProgress();
  switch (action) {
    case kErrorClassReport:
      reportError(run, info, key);
      return false;
    case kErrorClassRetryNow:
      engineLog(pando::kLogInfo, kComponent,
                "some intermittent error. Retrying now. Error code is %d and error type is %d",
                info.errorCode, info.errorType);
      return false;
    case kErrorClassFatal:
      failFatally(run, info);
      return true;
    case kErrorClassWaitAndRetry:
      waitAndRetry(run, info);
      return false;
    default:
      return false;
  }
}

void FileDownloadManager::reportError(const Run& run, const DLEErrorInfo& info, uint32_t key) {
  std::unique_lock<std::mutex> lock;
  if (!lockForRun(run, lock)) return;
  if (state_.load() == kDleStateRunning) pauseLocked();
  data_.ledger().dropErrors(key);
  data_.ledger().setLastError(info);
  lock.unlock();
  sendLastError();
}

void FileDownloadManager::failFatally(const Run& run, DLEErrorInfo info) {
  std::unique_lock<std::mutex> lock;
  if (!lockForRun(run, lock)) return;
  data_.ledger().setLastError(info);
  stopSerializerAndClose();
  // Only a download that stored an ETag can tell that the file changed.
  bool etagStored = !data_.plan().responseHeader("ETag").empty();
  const bool changed = info.errorType == kDleErrorFileChanged;
  if (changed || (!data_.plan().singleStreamRequested() && etagStored && hasETagChanged())) {
    data_.plan().cleanup();
    info.errorType = kDleErrorFileChanged;
    info.errorClass = kErrorClassFileChanged;
    info.message = "Bits have changed on the server. All files should be downloaded again now";
    info.retryable = 0;
  }
  engineLog(pando::kLogTrace, kComponent,
            "Fatal error has occurred. Error code is %d and error type is %d", info.errorCode,
            info.errorType);
  data_.ledger().setProgressState(kDleStateFatal);
  data_.ledger().setLastError(info);
  state_.store(kDleStateFatal);
  lock.unlock();
  sendLastError();
}

void FileDownloadManager::waitAndRetry(const Run& run, const DLEErrorInfo& info) {
  auto wait = std::chrono::duration<double>(info.retryAfter * settings_.retryAfterScale);
  if (run.stop.waitFor(std::chrono::duration_cast<std::chrono::nanoseconds>(wait))) return;
  engineLog(
      pando::kLogInfo, kComponent,
      "some intermittent error. Retrying now (after wait). Error code is %d and error type is %d",
      info.errorCode, info.errorType);
  std::unique_lock<std::mutex> lock;
  if (!lockForRun(run, lock)) return;
  if (state_.load() == kDleStateRunning) pool_.resumeActive();
}

void FileDownloadManager::cancelHungJobs() {
  HangWatch::Verdict verdict = hangWatch_.check(data_.activity().snapshot(), clock_.now());
  for (uint32_t index : verdict.cancel) pool_.cancelJob(index);
  if (!verdict.deadConnections) return;
  EngineErrorRecord error;
  error.type = ERROR_DEAD_CONNECTIONS;
  error.code = 503;
  error.message =
      "Dead connections maximum limit reached. Either the server is not responding or the network "
      "bandwidth is too low. Try after some time.";
  data_.postError(error);
}

void FileDownloadManager::reportStatistics() {
  JobPoolContainer& jobs = data_.getJobPool();
  QueueStatistics queues{jobs.count(JobPoolContainer::kSerialization), pool_.activeCount(),
                         jobs.count(JobPoolContainer::kDownload)};
  data_.notifyIntercepts(kEventQueueStatistics, &queues, sizeof queues);
  for (const auto& [index, record] : data_.activity().snapshot()) {
    ThreadStatistics thread{index, static_cast<uint32_t>(pool_.threadState(index)),
                            record.bytesReceived};
    data_.notifyIntercepts(kEventThreadStatistics, &thread, sizeof thread);
  }
}

void FileDownloadManager::adjustActiveThreads(AdaptiveThreadController& controller) {
  const uint32_t active = pool_.activeCount();
  ++adjustTickCount_;
  controller.tick();
  controller.sendStatistics();
  if (!data_.plan().preference().adaptiveThreadRamp || adjustTickCount_ <= active / 4 + 4) return;
  bool decided = false;
  int32_t decision = controller.evaluate(decided);
  if (!decided) return;
  adjustTickCount_ = 0;
  if (decision == AdaptiveThreadController::kFewer) {
    if (active < 2) {
      controller.setState(AdaptiveThreadController::kNop);
      return;
    }
    engineLog(pando::kLogInfo, kComponent,
              "decrementing the thread count. now the active thread count is %d", active - 1);
    pool_.deactivateLast();
  } else if (decision == AdaptiveThreadController::kMore) {
    if (active >= pool_.threadCount()) {
      controller.setState(AdaptiveThreadController::kNop);
      return;
    }
    engineLog(pando::kLogInfo, kComponent,
              "incrementing the thread. now the active thread count is %d", active + 1);
    pool_.activateNext();
  }
}

bool FileDownloadManager::finishFile() {
  const bool singleStream = data_.plan().preference().singleStreamInEffect != 0;
  int error = 0;
  if (singleStream && !truncateFile(data_.plan().preference().partialFilePath(),
                                    data_.plan().streamLength(), error)) {
    data_.plan().recordFileSystemError(error, data_.plan().preference().partialFilePath(),
                                       "failed to cut the streamed file to its length");
    return false;
  }
  bool gzip = singleStream && data_.plan().responseHeader("Content-Encoding") == "gzip";
  if (gzip) {
    engineLog(pando::kLogInfo, kComponent,
              "gzip encoding received in respose header. Going to unzip...");
    return data_.plan().gunzipDownloadedFile("");
  }
  engineLog(pando::kLogInfo, kComponent,
            "No encoding received in respose header. Going to rename...");
  return data_.plan().moveDownloadedFile("");
}

void FileDownloadManager::complete(const Run& run) {
  std::unique_lock<std::mutex> lock;
  if (!lockForRun(run, lock)) return;
  if (state_.load() != kDleStateRunning) return;
  sendProgress();
  reportStatistics();
  stopSerializerAndClose();
  // The meta file goes only after the rename: a run killed in between resumes from it.
  if (!finishFile()) {
    engineLog(pando::kLogError, kComponent,
              "An error has occurred while renaming the temporary named downloaded file.");
    data_.ledger().setProgressState(kDleStateError);
    state_.store(kDleStateError);
    lock.unlock();
    sendLastError();
    sendProgress();
    return;
  }
  int error = 0;
  if (!deleteFile(data_.plan().preference().metaFilePath(), error)) {
    engineLog(pando::kLogTrace, kComponent,
              "[WARN]: Failed to delete the quarryd file. May be due to some unclosed handle.");
  }
  const DownloadPreference& preference = data_.plan().preference();
  const std::string target = preference.finalFilePath();
  data_.notifyIntercepts(kEventComplete, target.data(), static_cast<uint32_t>(target.size()));
  data_.ledger().setProgressState(kDleStateComplete);
  state_.store(kDleStateComplete);
  const double elapsed =
      std::chrono::duration<double, std::milli>(clock_.now() - startTime_).count();
  engineLog(pando::kLogInfo, kComponent,
            "File download complete: %s size: %llu Bytes, Time Taken:%lf milliseconds ",
            loggableUrl(preference.serverFullPath).c_str(),
            static_cast<unsigned long long>(data_.ledger().progress().bytesDownloaded), elapsed);
  lock.unlock();
  sendProgress();
}

}  // namespace gde
