#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace gde {

// Page-mapped buffers for segment bytes. A buffer whose last holder lets go goes back to the
// cache, so the next segment writes into pages already mapped instead of faulting in and zeroing
// fresh ones; idle buffers beyond `kIdleLimit` bytes go back to the system at once (never to a
// heap arena, where a dozen threads would strand them). Process-wide, thread-safe; it lives until
// the process ends, so a buffer may be let go at any time.
class SegmentBufferCache {
 public:
  static constexpr uint64_t kIdleLimit = 4ull << 20;  // two segments of the default size

  static SegmentBufferCache& instance();
  // A buffer of exactly `bytes` bytes (contents undefined); null when memory is short.
  std::shared_ptr<uint8_t[]> acquire(uint32_t bytes);
  uint64_t idleBytes() const;

 private:
  SegmentBufferCache() = default;
  void giveBack(uint8_t* buffer, uint32_t bytes);

  mutable std::mutex mutex_;
  std::multimap<uint32_t, uint8_t*> idle_;  // guarded by mutex_
  uint64_t idleBytes_ = 0;                  // guarded by mutex_
};

}  // namespace gde
