#include "download/engine/http/RequestGate.h"

namespace gde {

RequestGate::Cancellation::Cancellation(RequestGate& gate) : gate_(gate) {
  std::lock_guard lock(gate_.mutex_);
  ++gate_.cancellations_;
  gate_.cancelledNow_.notify_all();
  if (gate_.active_ == nullptr) return;
  gate_.cancelled_ = true;
  gate_.active_->cancel();
}

RequestGate::Cancellation::~Cancellation() {
  std::lock_guard lock(gate_.mutex_);
  --gate_.cancellations_;
}

bool RequestGate::enter(HttpCommunicator& communicator) {
  std::lock_guard lock(mutex_);
  if (cancellations_ > 0) return false;
  active_ = &communicator;
  cancelled_ = false;
  return true;
}

bool RequestGate::leave() {
  std::lock_guard lock(mutex_);
  active_ = nullptr;
  return cancelled_;
}

bool RequestGate::waitFor(std::chrono::nanoseconds duration) {
  std::unique_lock lock(mutex_);
  return cancelledNow_.wait_for(lock, duration, [this] { return cancellations_ > 0; });
}

}  // namespace gde
