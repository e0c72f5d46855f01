#include "download/engine/common/StopSignal.h"

namespace gde {

void StopSignal::request() {
  {
    std::lock_guard lock(mutex_);
    requested_ = true;
  }
  changed_.notify_all();
}

void StopSignal::reset() {
  std::lock_guard lock(mutex_);
  requested_ = false;
}

bool StopSignal::requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

bool StopSignal::waitFor(std::chrono::nanoseconds duration) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, duration, [this] { return requested_; });
}

}  // namespace gde
