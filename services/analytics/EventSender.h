#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "foundation/threads/ThreadHandle.h"
#include "services/analytics/AnalyticsEvent.h"

// The analytics queue and its one sender thread. Events wait in a bounded queue (the oldest is
// dropped when it is full); about every tick the thread hands what is queued, in batches, to the
// post function. A batch that fails goes back to the front of the queue for the next tick, within
// the bound. stop() flushes for at most flushLimit, never starting a post that could outlast it,
// then ends and joins the thread; events enqueued afterwards are dropped.
//
// Threads: enqueue and stop from any thread; start from the owner. The post function runs on the
// sender thread only and is given the time-out its request must keep to.
class EventSender {
 public:
  struct Settings {
    std::chrono::milliseconds tick{1000};
    std::chrono::milliseconds flushLimit{5000};
    int postTimeoutSeconds = 5;  // never more than flushLimit: stop waits for a post in flight
    size_t capacity = 1000;
    size_t batchLimit = 100;
  };
  using Post = std::function<bool(const std::vector<AnalyticsEvent>& batch, int timeoutSeconds)>;

  EventSender(Post post, Settings settings);
  ~EventSender();
  EventSender(const EventSender&) = delete;
  EventSender& operator=(const EventSender&) = delete;

  // False when the thread cannot start; events are then dropped.
  bool start();
  void enqueue(AnalyticsEvent event);
  // Idempotent; any thread but the sender's own.
  void stop();

 private:
  static void* threadMain(void* self);
  void run();
  // Sends what is queued until the queue is empty, a post fails or (stopping) time runs out.
  void sendQueued(std::unique_lock<std::mutex>& lock);
  // The time-out for the next post; 0 or less when, stopping, none fits before the deadline.
  int nextTimeout() const;

  const Post post_;
  const Settings settings_;
  pando::ThreadHandle thread_;  // joined under stopMutex_
  std::mutex stopMutex_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<AnalyticsEvent> queue_;                // guarded by mutex_
  bool running_ = false;                            // guarded by mutex_
  bool stopping_ = false;                           // guarded by mutex_
  std::chrono::steady_clock::time_point deadline_;  // guarded by mutex_; set when stopping
};
