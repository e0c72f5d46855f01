#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "download/engine/segments/Segment.h"

namespace gde {

// The segments of one download, addressed by segment index. The pool holds one reference per
// slot; jobs and pieces hold their own (see Segment), so freeing a slot never frees bytes that a
// piece still has to write. All operations are thread-safe.
class SegmentPool {
 public:
  // Drops every segment and makes `count` empty slots.
  bool reserve(uint32_t count);
  // A new empty segment in slot `index` (replacing any); false past the capacity.
  bool createAndGetSegmentFromPool(uint32_t index, std::shared_ptr<Segment>& out);
  // The same, doubling the capacity as often as needed (a single stream grows piece by piece).
  bool createNextSegmentInPool(uint32_t index, std::shared_ptr<Segment>& out);
  // Empties slot `index`, when given only if it still holds `expected`; false past the capacity.
  bool freeSegmentInPool(uint32_t index, const Segment* expected = nullptr);
  void clear();
  uint32_t capacity() const;

 private:
  bool placeNewLocked(uint32_t index, std::shared_ptr<Segment>& out);

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Segment>> slots_;  // guarded by mutex_
};

}  // namespace gde
