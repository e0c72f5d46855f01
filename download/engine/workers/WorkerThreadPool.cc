#include "download/engine/workers/WorkerThreadPool.h"

#include <algorithm>

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {
constexpr const char* kComponent = "WorkerThreadPool";
}  // namespace

WorkerThreadPool::WorkerThreadPool(const DownloadSettings& settings) : settings_(settings) {}

WorkerThreadPool::~WorkerThreadPool() {
  stopAll();
}

bool WorkerThreadPool::init(uint32_t count, JobPoolContainer& jobs) {
  std::lock_guard lock(mutex_);
  stopAllLocked();
  engineLog(pando::kLogInfo, kComponent, "creating %u downloader threads", std::max(count, 1u));
  for (uint32_t index = 0; index < std::max(count, 1u); ++index) {
    auto thread = std::make_unique<WorkerThread>(settings_);
    thread->init(JobPoolContainer::kDownload, &jobs);
    thread->setThreadIndex(index);
    if (!thread->run()) {
      engineLog(pando::kLogError, kComponent, "Failed to create a new worker thead .");
      stopAllLocked();
      return false;
    }
    threads_[index] = Entry{std::move(thread), false};
  }
  initialized_ = true;
  return true;
}

void WorkerThreadPool::activateNext() {
  std::lock_guard lock(mutex_);
  engineLog(pando::kLogTrace, kComponent, "inside activate next thread api");
  for (auto& [index, entry] : threads_) {
    if (entry.active) continue;
    entry.thread->resume();
    entry.active = true;
    ++activeCount_;
    engineLog(pando::kLogTrace, kComponent, "activating a thread - %d", index);
    return;
  }
}

void WorkerThreadPool::deactivateLast() {
  std::lock_guard lock(mutex_);
  for (auto it = threads_.rbegin(); it != threads_.rend(); ++it) {
    if (!it->second.active) continue;
    engineLog(pando::kLogTrace, kComponent, "deactivating a thread - %d", it->first);
    it->second.thread->pause();
    it->second.active = false;
    --activeCount_;
    return;
  }
}

void WorkerThreadPool::activateAll() {
  std::lock_guard lock(mutex_);
  for (auto& [index, entry] : threads_) {
    entry.thread->resume();
    entry.active = true;
  }
  activeCount_ = static_cast<uint32_t>(threads_.size());
  engineLog(pando::kLogInfo, kComponent, "thread count is %d and active thread count is %d",
            static_cast<uint32_t>(threads_.size()), activeCount_);
}

void WorkerThreadPool::resumeActive() {
  std::lock_guard lock(mutex_);
  for (auto& [index, entry] : threads_) {
    if (entry.active) entry.thread->resume();
  }
}

void WorkerThreadPool::pauseAll() {
  std::lock_guard lock(mutex_);
  for (auto& [index, entry] : threads_) entry.thread->pause();
  for (auto& [index, entry] : threads_) entry.thread->waitUntilPaused();
}

bool WorkerThreadPool::cancelJob(uint32_t index) {
  std::lock_guard lock(mutex_);
  auto found = threads_.find(index);
  if (found == threads_.end()) return false;
  return found->second.thread->cancelJob();
}

void WorkerThreadPool::stopAll() {
  std::lock_guard lock(mutex_);
  stopAllLocked();
}

void WorkerThreadPool::stopAllLocked() {
  if (!initialized_ && threads_.empty()) return;
  for (auto& [index, entry] : threads_) entry.thread->requestStop();
  for (auto& [index, entry] : threads_) entry.thread->stop();
  threads_.clear();
  activeCount_ = 0;
  initialized_ = false;
}

uint32_t WorkerThreadPool::activeCount() const {
  std::lock_guard lock(mutex_);
  return activeCount_;
}

uint32_t WorkerThreadPool::threadCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(threads_.size());
}

int32_t WorkerThreadPool::threadState(uint32_t index) const {
  std::lock_guard lock(mutex_);
  auto found = threads_.find(index);
  return found == threads_.end() ? WorkerThread::kStopped : found->second.thread->threadState();
}

}  // namespace gde
