#include "download/engine/workers/SerializerBacklog.h"

namespace gde {

void SerializerBacklog::add(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  bytes_ += bytes;
}

void SerializerBacklog::release(uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    bytes_ = bytes > bytes_ ? 0 : bytes_ - bytes;
  }
  changed_.notify_all();
}

bool SerializerBacklog::waitBelowLimit(const std::function<bool()>& interrupted,
                                       std::chrono::milliseconds recheck) {
  std::unique_lock lock(mutex_);
  while (bytes_ >= limit_) {
    if (interrupted()) return false;
    changed_.wait_for(lock, recheck);
  }
  return true;
}

void SerializerBacklog::wakeUp() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

uint64_t SerializerBacklog::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

void SerializerBacklog::setLimit(uint64_t limit) {
  {
    std::lock_guard lock(mutex_);
    limit_ = limit;
  }
  changed_.notify_all();
}

}  // namespace gde
