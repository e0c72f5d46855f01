#include "download/engine/segments/SegmentBufferCache.h"

#include <sys/mman.h>

namespace gde {

SegmentBufferCache& SegmentBufferCache::instance() {
  // Never destroyed: buffers may come back while static objects are torn down.
  static SegmentBufferCache* cache = new SegmentBufferCache;
  return *cache;
}

std::shared_ptr<uint8_t[]> SegmentBufferCache::acquire(uint32_t bytes) {
  uint8_t* buffer = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto found = idle_.find(bytes);
    if (found != idle_.end()) {
      buffer = found->second;
      idle_.erase(found);
      idleBytes_ -= bytes;
    }
  }
  if (!buffer) {
    void* memory =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    buffer = static_cast<uint8_t*>(memory);
  }
  return std::shared_ptr<uint8_t[]>(buffer,
                                    [this, bytes](uint8_t* done) { giveBack(done, bytes); });
}

void SegmentBufferCache::giveBack(uint8_t* buffer, uint32_t bytes) {
  {
    std::lock_guard lock(mutex_);
    if (idleBytes_ + bytes <= kIdleLimit) {
      idle_.emplace(bytes, buffer);
      idleBytes_ += bytes;
      return;
    }
  }
  ::munmap(buffer, bytes);
}

uint64_t SegmentBufferCache::idleBytes() const {
  std::lock_guard lock(mutex_);
  return idleBytes_;
}

}  // namespace gde
