#include "download/engine/segments/Segment.h"

#include <algorithm>

#include "download/engine/common/EngineLog.h"
#include "download/engine/segments/SegmentBufferCache.h"

namespace gde {

void Segment::init(uint64_t start, uint32_t length, uint32_t index) {
  std::lock_guard lock(mutex_);
  start_ = start;
  length_ = length;
  index_ = index;
  lastByte_ = length == 0 ? 0 : start + length - 1;
  failedChecks_.store(0);
  startOverLocked();
}

bool Segment::allocateBuffer(uint32_t size) {
  std::lock_guard lock(mutex_);
  if (buffer_) return true;
  uint32_t bytes = size == 0 ? length_ : size;
  buffer_ = SegmentBufferCache::instance().acquire(bytes);
  if (!buffer_) {
    engineLog(pando::kLogError, "Segment",
              "failed to allocate memory for segment buffer of size - %d", bytes);
    return false;
  }
  return true;
}

void Segment::reset() {
  std::lock_guard lock(mutex_);
  startOverLocked();
}

void Segment::release() {
  reset();
}

void Segment::startOverLocked() {
  ++generation_;
  buffer_.reset();
  doneBytes_ = 0;
  prefix_ = 0;
  writtenAhead_.clear();
  completed_ = false;
}

void Segment::markResumed(uint32_t count) {
  std::lock_guard lock(mutex_);
  doneBytes_ = count;
  prefix_ = count;
}

void Segment::setLength(uint32_t length) {
  std::lock_guard lock(mutex_);
  length_ = length;
  lastByte_ = length == 0 ? 0 : start_ + length - 1;
}

uint32_t Segment::doneBytes() const {
  std::lock_guard lock(mutex_);
  return doneBytes_;
}

uint64_t Segment::generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

std::shared_ptr<uint8_t[]> Segment::buffer() const {
  std::lock_guard lock(mutex_);
  return buffer_;
}

SegmentEventRecord Segment::eventRecord() const {
  std::lock_guard lock(mutex_);
  return SegmentEventRecord{length_, index_, buffer_.get()};
}

Segment::PieceResult Segment::writePiece(uint64_t generation, uint32_t offset, uint32_t length,
                                         const std::function<bool()>& write,
                                         const std::function<void(uint32_t prefix)>& recordPrefix) {
  std::lock_guard lock(mutex_);
  if (generation != generation_) return PieceResult::kStale;
  if (!write()) return PieceResult::kFailed;
  const uint32_t before = prefix_;
  if (offset <= prefix_) {
    prefix_ = std::max(prefix_, offset + length);
  } else {
    uint32_t& known = writtenAhead_[offset];
    known = std::max(known, length);
  }
  for (auto next = writtenAhead_.begin(); next != writtenAhead_.end() && next->first <= prefix_;
       next = writtenAhead_.erase(next)) {
    prefix_ = std::max(prefix_, next->first + next->second);
  }
  if (prefix_ > before && recordPrefix) recordPrefix(prefix_);
  if (completed_ || prefix_ < length_) return PieceResult::kWritten;
  completed_ = true;
  return PieceResult::kCompleted;
}

uint32_t Segment::writtenPrefix() const {
  std::lock_guard lock(mutex_);
  return prefix_;
}

}  // namespace gde
