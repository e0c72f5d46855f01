#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace gde {

// A unit of work that a WorkerThread runs: a download job (one segment, or the whole stream) or
// a serialization job (one piece to the disk). The state is shared: the running thread moves it
// forward, other threads ask for a pause or a stop through pauseJob/stopJob/terminate, which the
// job notices at its next read pass. Jobs are owned by the JobPoolContainer while queued and by
// the worker while they run.
class BaseJob {
 public:
  enum State : int32_t {
    kPauseRequested = 0,
    kIdle = 1,
    kStopping = 2,
    kStopped = 3,
    kRunning = 4,
    kComplete = 5,
    kError = 7,    // not recoverable: dropped by the worker
    kDelayed = 8,  // paused by a Retry-After delay
  };
  enum Result : uint32_t { kDone = 0, kFailed = 1, kPaused = 2, kCancelled = 3 };

  explicit BaseJob(uint32_t jobId) : jobId_(jobId) {}
  virtual ~BaseJob() = default;
  BaseJob(const BaseJob&) = delete;
  BaseJob& operator=(const BaseJob&) = delete;

  // Runs on a worker thread after claim(); returns a Result.
  virtual uint32_t execute(uint32_t threadIndex) = 0;
  // Forces an end from another thread (closes the job's connection).
  virtual bool terminate() = 0;
  // Prepares a failed job to run again from the start of its work.
  virtual bool resetForRetry() = 0;

  // Running job: pause requested; idle or stopped job: idle. False for a job that is stopping,
  // stopped or complete.
  bool pauseJob();
  bool resumeJob();
  bool stopJob();
  // Called by the worker under its lock before execute: an idle or stopped job starts running,
  // so a pause or stop that arrives afterwards always reaches a running job.
  void claim();

  uint32_t jobId() const { return jobId_; }
  int32_t state() const { return state_.load(); }
  void setState(int32_t state) { state_.store(state); }

  // A job put back after a failure waits in its queue until then (on the engine's clock), so a
  // worker takes other jobs meanwhile. Set by whoever holds the job before it is queued.
  using TimePoint = std::chrono::steady_clock::time_point;
  TimePoint notBefore() const { return notBefore_; }
  void setNotBefore(TimePoint at) { notBefore_ = at; }

 protected:
  // A pause or stop reached the running job: wake whatever it waits on. Any thread.
  virtual void onInterrupted() {}

 private:
  const uint32_t jobId_;
  std::atomic<int32_t> state_{kIdle};
  TimePoint notBefore_{};
};

}  // namespace gde
