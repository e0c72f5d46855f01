#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace gde {

// A stop request that every wait of its owner watches. waitFor returns as soon as the request is
// made, so no sleep ever delays a stop by more than the time to wake a thread. Any thread may
// call any operation.
class StopSignal {
 public:
  void request();
  // Clears the request so the owner can run again (after its threads have ended).
  void reset();
  bool requested() const;
  // Sleeps for `duration` or until a request; true when a stop was requested.
  bool waitFor(std::chrono::nanoseconds duration) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool requested_ = false;  // guarded by mutex_
};

}  // namespace gde
