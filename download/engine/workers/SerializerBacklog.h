#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace gde {

// The bytes received but not yet on disk. Downloader threads wait before they start a new
// segment while the backlog is at its limit, so a disk slower than the network holds memory to
// the limit plus one segment per thread instead of growing toward the file's size. Thread-safe.
class SerializerBacklog {
 public:
  explicit SerializerBacklog(uint64_t limit) : limit_(limit) {}

  void add(uint64_t bytes);
  void release(uint64_t bytes);
  // Waits while the backlog is at or above the limit. False when `interrupted` turned true
  // first; it is re-checked at every release, wakeUp and every `recheck`.
  bool waitBelowLimit(const std::function<bool()>& interrupted, std::chrono::milliseconds recheck);
  void wakeUp();
  uint64_t bytes() const;
  void setLimit(uint64_t limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t limit_;      // guarded by mutex_
  uint64_t bytes_ = 0;  // guarded by mutex_
};

}  // namespace gde
