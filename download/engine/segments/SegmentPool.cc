#include "download/engine/segments/SegmentPool.h"

#include <new>

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {

// Slot counts beyond this are refused rather than grown (a 2^31-piece stream is not a file).
constexpr uint32_t kMaxSlots = 1u << 31;

}  // namespace

bool SegmentPool::reserve(uint32_t count) {
  std::lock_guard lock(mutex_);
  slots_.clear();
  slots_.shrink_to_fit();
  try {
    slots_.resize(count);
  } catch (const std::bad_alloc&) {
    engineLog(pando::kLogWarn, "SegmentPool",
              "failed to allocate memory of size (%d) in the segment Pool", count);
    return false;
  }
  return true;
}

bool SegmentPool::createAndGetSegmentFromPool(uint32_t index, std::shared_ptr<Segment>& out) {
  std::lock_guard lock(mutex_);
  if (index >= slots_.size()) {
    engineLog(pando::kLogWarn, "SegmentPool",
              "createAndGetSegmentFromPool : index (%d) out of bound (%d)", index,
              static_cast<uint32_t>(slots_.size()));
    return false;
  }
  return placeNewLocked(index, out);
}

bool SegmentPool::createNextSegmentInPool(uint32_t index, std::shared_ptr<Segment>& out) {
  std::lock_guard lock(mutex_);
  if (index >= kMaxSlots) {
    engineLog(pando::kLogError, "SegmentPool", "too big index for a basic pool");
    return false;
  }
  size_t capacity = slots_.empty() ? 1 : slots_.size();
  while (capacity <= index) capacity *= 2;
  try {
    slots_.resize(capacity);
  } catch (const std::bad_alloc&) {
    engineLog(pando::kLogError, "SegmentPool", "too big index for a basic pool");
    return false;
  }
  return placeNewLocked(index, out);
}

bool SegmentPool::placeNewLocked(uint32_t index, std::shared_ptr<Segment>& out) {
  auto segment = std::shared_ptr<Segment>(new (std::nothrow) Segment);
  if (!segment) return false;
  slots_[index] = segment;
  out = std::move(segment);
  return true;
}

bool SegmentPool::freeSegmentInPool(uint32_t index, const Segment* expected) {
  std::lock_guard lock(mutex_);
  if (index >= slots_.size()) {
    engineLog(pando::kLogWarn, "SegmentPool", "freeSegmentInPool : index (%d) out of bound (%d)",
              index, static_cast<uint32_t>(slots_.size()));
    return false;
  }
  if (expected && slots_[index].get() != expected) return true;
  if (slots_[index]) slots_[index]->release();
  slots_[index].reset();
  return true;
}

void SegmentPool::clear() {
  std::lock_guard lock(mutex_);
  slots_.clear();
  slots_.shrink_to_fit();
}

uint32_t SegmentPool::capacity() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(slots_.size());
}

}  // namespace gde
