#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "download/engine/DownloadSettings.h"
#include "download/engine/workers/BaseJob.h"
#include "download/engine/workers/JobPoolContainer.h"

namespace gde {

// The control surface of an engine thread.
class IThread {
 public:
  virtual ~IThread() = default;
  virtual bool run() = 0;
  virtual bool pause() = 0;
  virtual bool resume() = 0;
  virtual bool requestStop() = 0;
};

// A thread that takes jobs of one kind from a JobPoolContainer and runs them one at a time. It is
// created paused; resume() lets it work. A failed, paused or cancelled job goes back to the front
// of the download queue (a failed piece is then written by the next free downloader thread).
//
// Thread rules: run/stop/destruction belong to the owner; pause, resume, requestStop and cancelJob
// may come from any thread. The lock guards the current-job pointer, so a pause or cancel always
// reaches the job that is running, never a destroyed one. Idle and paused waits end as soon as
// the state changes.
class WorkerThread : public IThread {
 public:
  enum State : int32_t {
    kPauseRequested = 0,
    kPaused = 1,
    kStopRequested = 2,
    kStopped = 3,
    kRunning = 4,
  };

  explicit WorkerThread(const DownloadSettings& settings = {});
  ~WorkerThread() override;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // kind 0 or 1 and a container that outlives the thread.
  bool init(uint32_t kind, JobPoolContainer* container);
  bool run() override;
  bool pause() override;
  bool resume() override;
  bool requestStop() override;
  // After pause(): returns once the thread has put its job aside (or is not running at all).
  // Waits on the state's condition, woken by every change that ends the wait.
  void waitUntilPaused() const;
  bool cancelJob();
  // Asks the job to stop, forces it after jobStopForceAfter, gives up waiting after
  // jobStopAbandonAfter, then joins the thread.
  bool stop();

  int32_t threadState() const { return state_.load(); }
  void setThreadIndex(uint32_t index) { threadIndex_.store(index); }
  uint32_t threadIndex() const { return threadIndex_.load(); }

 private:
  void threadProc();
  bool runOnce();
  void finishJob(std::unique_ptr<BaseJob> job, uint32_t result);
  void requeue(std::unique_ptr<BaseJob> job);
  void setStateAndWake(int32_t state);
  bool stateChangedFrom(int32_t state) const { return state_.load() != state; }
  // from -> to under the lock, waking the waiters; false when the state was no longer `from`.
  bool settle(int32_t from, int32_t to);
  void waitForJobToEnd();
  void join();

  const DownloadSettings settings_;
  bool initialized_ = false;
  uint32_t jobKind_ = 0;
  JobPoolContainer* container_ = nullptr;
  std::atomic<int32_t> state_{kPaused};
  std::atomic<uint32_t> threadIndex_{0};
  std::thread thread_;

  // Every store to state_ that a waiter watches is made under mutex_ and followed by a notify.
  mutable std::mutex mutex_;
  mutable std::condition_variable stateChanged_;
  BaseJob* current_ = nullptr;  // guarded by mutex_; owned by the running threadProc
};

}  // namespace gde
