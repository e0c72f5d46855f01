#include "download/engine/workers/WorkerThread.h"

#include <cerrno>
#include <system_error>

#include "download/engine/common/EngineLog.h"

namespace gde {

WorkerThread::WorkerThread(const DownloadSettings& settings) : settings_(settings) {}

WorkerThread::~WorkerThread() {
  if (!thread_.joinable()) return;
  setStateAndWake(kStopRequested);
  join();
}

bool WorkerThread::init(uint32_t kind, JobPoolContainer* container) {
  if (kind > JobPoolContainer::kSerialization || !container) {
    engineLog(pando::kLogError, "WorkerThread", "WorkerThread::init : invalid paramters");
    initialized_ = false;
    return false;
  }
  jobKind_ = kind;
  container_ = container;
  initialized_ = true;
  return true;
}

bool WorkerThread::run() {
  if (!initialized_) {
    engineLog(pando::kLogError, "WorkerThread", "Thread is not initialized, so it cannot run");
    return false;
  }
  if (thread_.joinable()) {
    engineLog(pando::kLogInfo, "WorkerThread", "thread (%d) is already running. Closing it first",
              threadIndex());
    stop();
  }
  setStateAndWake(kPaused);
  try {
    thread_ = std::thread(&WorkerThread::threadProc, this);
  } catch (const std::system_error& error) {
    engineLog(pando::kLogError, "WorkerThread", "failed to create a new thread. Fatal Error. %d",
              error.code().value());
    return false;
  }
  return true;
}

void WorkerThread::setStateAndWake(int32_t state) {
  {
    std::lock_guard lock(mutex_);
    state_.store(state);
  }
  stateChanged_.notify_all();
  if (container_) container_->wakeUp();
}

bool WorkerThread::pause() {
  if (!initialized_ || state_.load() == kStopped) {
    engineLog(pando::kLogError, "WorkerThread", "thread is either stopped or not initialized");
    return false;
  }
  engineLog(pando::kLogTrace, "WorkerThread", "pausing the thread (%d)", threadIndex());
  {
    std::lock_guard lock(mutex_);
    state_.store(kPauseRequested);
    if (current_) current_->pauseJob();
  }
  stateChanged_.notify_all();
  container_->wakeUp();
  return true;
}

bool WorkerThread::resume() {
  if (!initialized_ || state_.load() == kStopped) {
    engineLog(pando::kLogError, "WorkerThread", "thread is either stopped or not initialized");
    return false;
  }
  engineLog(pando::kLogInfo, "WorkerThread", "running the thread (%d)", threadIndex());
  {
    std::lock_guard lock(mutex_);
    state_.store(kRunning);
    if (current_) current_->resumeJob();
  }
  stateChanged_.notify_all();
  return true;
}

bool WorkerThread::requestStop() {
  if (!initialized_ || state_.load() == kStopped) return false;
  {
    std::lock_guard lock(mutex_);
    state_.store(kStopRequested);
    if (current_) current_->stopJob();
  }
  stateChanged_.notify_all();
  container_->wakeUp();
  return true;
}

void WorkerThread::waitUntilPaused() const {
  std::unique_lock lock(mutex_);
  stateChanged_.wait(lock, [this] {
    const int32_t state = state_.load();
    return state != kPauseRequested && state != kRunning;
  });
}

bool WorkerThread::settle(int32_t from, int32_t to) {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    changed = state_.compare_exchange_strong(from, to);
  }
  if (changed) stateChanged_.notify_all();
  return changed;
}

bool WorkerThread::cancelJob() {
  std::lock_guard lock(mutex_);
  if (current_) current_->terminate();
  return true;
}

bool WorkerThread::stop() {
  if (!initialized_) return true;
  {
    std::lock_guard lock(mutex_);
    state_.store(kStopRequested);
  }
  stateChanged_.notify_all();
  container_->wakeUp();
  waitForJobToEnd();
  join();
  setStateAndWake(kStopped);
  return true;
}

void WorkerThread::waitForJobToEnd() {
  std::unique_lock lock(mutex_);
  if (!current_) return;
  current_->stopJob();
  auto ended = [this] {
    return !current_ || current_->state() == BaseJob::kStopped ||
           current_->state() == BaseJob::kComplete;
  };
  if (stateChanged_.wait_for(lock, settings_.jobStopForceAfter, ended)) return;
  engineLog(pando::kLogInfo, "WorkerThread", "forcing the job (%d) to terminate.",
            current_->jobId());
  current_->terminate();
  if (stateChanged_.wait_for(lock, settings_.jobStopAbandonAfter - settings_.jobStopForceAfter,
                             ended)) {
    return;
  }
  engineLog(pando::kLogInfo, "WorkerThread",
            "job (%d) is still not terminated. Closing the thread handle now",
            current_ ? current_->jobId() : 0u);
}

void WorkerThread::join() {
  if (!thread_.joinable()) return;
  engineLog(pando::kLogTrace, "WorkerThread", "trying to close the thread handle (%d)",
            threadIndex());
  try {
    thread_.join();
  } catch (const std::system_error& error) {
    engineLog(pando::kLogWarn, "WorkerThread", "failed to join with the current worker thread (%d)",
              threadIndex());
  }
}

void WorkerThread::threadProc() {
  while (true) {
    int32_t state = state_.load();
    if (state == kStopRequested || state == kStopped) break;
    if (state == kPauseRequested) {
      settle(kPauseRequested, kPaused);
      continue;
    }
    if (state == kPaused) {
      std::unique_lock lock(mutex_);
      stateChanged_.wait_for(lock, settings_.workerIdleWait,
                             [this] { return state_.load() != kPaused; });
      continue;
    }
    if (!runOnce()) {
      container_->waitForJob(jobKind_, settings_.workerIdleWait,
                             [this] { return stateChangedFrom(kRunning); });
    }
  }
}

bool WorkerThread::runOnce() {
  std::unique_ptr<BaseJob> job;
  {
    std::lock_guard lock(mutex_);
    if (state_.load() != kRunning) return true;
    if (!container_->popNextJob(job, jobKind_)) return false;
    job->claim();
    current_ = job.get();
  }
  uint32_t result = job->execute(threadIndex());
  {
    std::lock_guard lock(mutex_);
    current_ = nullptr;
  }
  stateChanged_.notify_all();
  finishJob(std::move(job), result);
  return true;
}

void WorkerThread::finishJob(std::unique_ptr<BaseJob> job, uint32_t result) {
  switch (result) {
    case BaseJob::kDone:
      return;
    case BaseJob::kFailed:
      job->resetForRetry();
      if (job->state() == BaseJob::kError) {
        engineLog(pando::kLogInfo, "WorkerThread",
                  "WorkerThread::ThreadProc Current job is in Error State which is not "
                  "recoverable");
        return;
      }
      break;
    case BaseJob::kPaused:
      if (job->state() == BaseJob::kDelayed) settle(kRunning, kPaused);
      break;
    default:
      break;
  }
  requeue(std::move(job));
}

void WorkerThread::requeue(std::unique_ptr<BaseJob> job) {
  container_->enqueueJobAtFront(std::move(job), JobPoolContainer::kDownload);
}

}  // namespace gde
