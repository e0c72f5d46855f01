#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "download/engine/DownloadSettings.h"
#include "download/engine/workers/JobPoolContainer.h"
#include "download/engine/workers/WorkerThread.h"

namespace gde {

// The downloader threads of one download, indexed 0..n-1. Threads start inactive (paused); the
// manager activates and deactivates them one by one as the adaptive controller decides. All
// operations are thread-safe and run under the pool lock.
class WorkerThreadPool {
 public:
  explicit WorkerThreadPool(const DownloadSettings& settings = {});
  ~WorkerThreadPool();
  WorkerThreadPool(const WorkerThreadPool&) = delete;
  WorkerThreadPool& operator=(const WorkerThreadPool&) = delete;

  // Stops any previous threads, then starts `count` paused threads (at least one) on the
  // download queue of `jobs`, which must outlive the pool's threads.
  bool init(uint32_t count, JobPoolContainer& jobs);
  void activateNext();
  void deactivateLast();
  void activateAll();
  void resumeActive();
  // Pauses every thread and waits until each has put its job aside.
  void pauseAll();
  bool cancelJob(uint32_t index);
  void stopAll();

  uint32_t activeCount() const;
  uint32_t threadCount() const;
  // The thread's state (WorkerThread::State), kStopped for an unknown index.
  int32_t threadState(uint32_t index) const;

 private:
  struct Entry {
    std::unique_ptr<WorkerThread> thread;
    bool active = false;
  };

  void stopAllLocked();

  const DownloadSettings settings_;
  mutable std::mutex mutex_;
  std::map<uint32_t, Entry> threads_;  // guarded by mutex_
  uint32_t activeCount_ = 0;           // guarded by mutex_
  bool initialized_ = false;           // guarded by mutex_
};

}  // namespace gde
