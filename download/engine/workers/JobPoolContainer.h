#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "download/engine/common/EngineClock.h"
#include "download/engine/workers/BaseJob.h"

namespace gde {

// The queues of one download: kind 0 download jobs, kind 1 serialization jobs. The container owns
// every queued job. Each queue has its own lock; enqueueing wakes the workers waiting on that
// queue. All operations are thread-safe.
//
// A job whose notBefore lies ahead on `clock` stays queued without being handed out, so a job
// waiting out a back-off holds no worker; the clock must outlive the container.
class JobPoolContainer {
 public:
  enum Kind : uint32_t { kDownload = 0, kSerialization = 1 };

  explicit JobPoolContainer(const EngineClock& clock = EngineClock::steady()) : clock_(clock) {}

  // False for a null job. Another kind is accepted and the job dropped.
  bool enqueueJob(std::unique_ptr<BaseJob> job, uint32_t kind);
  bool enqueueJobAtFront(std::unique_ptr<BaseJob> job, uint32_t kind);
  // Takes the frontmost job that is due; false when there is none.
  bool popNextJob(std::unique_ptr<BaseJob>& out, uint32_t kind);
  // No job of `kind` is handed out before `until` (a later hold replaces an earlier one). Cleared
  // by clear().
  void holdUntil(uint32_t kind, EngineClock::TimePoint until);
  // Jobs waiting in the download queue (kind 0) or the serialization queue (any other kind).
  uint32_t count(uint32_t kind) const;
  void clear();

  // Waits up to `timeout` for a due job of `kind` (or until the first queued one falls due),
  // returning early when `interrupted` turns true (re-checked after every wakeUp). A job may
  // still be gone when it returns.
  void waitForJob(uint32_t kind, std::chrono::nanoseconds timeout,
                  const std::function<bool()>& interrupted);
  // Wakes every waiter so it re-checks its interruption (after a pause, resume or stop).
  void wakeUp();

 private:
  struct Queue {
    mutable std::mutex mutex;
    std::condition_variable filled;
    std::deque<std::unique_ptr<BaseJob>> jobs;  // guarded by mutex
    EngineClock::TimePoint heldUntil{};         // guarded by mutex
  };

  bool push(std::unique_ptr<BaseJob> job, uint32_t kind, bool atFront, const char* nullMessage);
  Queue* queueFor(uint32_t kind);
  const Queue& queueForCount(uint32_t kind) const;
  // With the queue's lock held: the frontmost due job (jobs.end() when none), and the time the
  // first waiting one falls due.
  std::deque<std::unique_ptr<BaseJob>>::iterator firstDue(Queue& queue,
                                                          EngineClock::TimePoint& nextDue) const;

  const EngineClock& clock_;
  Queue download_;
  Queue serialization_;
};

}  // namespace gde
