#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "download/engine/http/HttpCommunicator.h"

namespace gde {

// The requests a download makes while it holds the manager lock (the size request, the range
// probe, the ETag check) and the waits between their retries pass through this gate, so that a
// stop waiting for that lock cuts them short instead of waiting out their time-outs.
//
// Threads: enter, leave and waitFor on the thread holding the manager lock; Cancellation on any
// thread. While a Cancellation lives, the request inside ends at once, waits return true and new
// requests are refused.
class RequestGate {
 public:
  class Cancellation {
   public:
    explicit Cancellation(RequestGate& gate);
    ~Cancellation();
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

   private:
    RequestGate& gate_;
  };

  // False when cancelled: the communicator must not be used then.
  bool enter(HttpCommunicator& communicator);
  // True when the request was cancelled while it ran.
  bool leave();
  // Sleeps for `duration` or until a cancellation; true when cancelled.
  bool waitFor(std::chrono::nanoseconds duration);

 private:
  std::mutex mutex_;
  std::condition_variable cancelledNow_;
  HttpCommunicator* active_ = nullptr;  // the request in progress; guarded by mutex_
  int cancellations_ = 0;               // live Cancellations; guarded by mutex_
  bool cancelled_ = false;              // the request in progress was cancelled; guarded by mutex_
};

}  // namespace gde
