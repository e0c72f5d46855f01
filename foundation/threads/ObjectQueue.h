#pragma once

#include <cstddef>
#include <deque>
#include <utility>

#include "foundation/threads/LockableObject.h"

namespace pando {

// A double-ended queue that any thread may use; every operation holds the queue's own lock.
template <typename T>
class ObjectQueue {
 public:
  // Appends at the back; always true.
  bool push(T item) {
    ScopedLock hold(&lock_);
    items_.push_back(std::move(item));
    return true;
  }
  // Takes the front element; false when the queue is empty (`out` untouched).
  bool pop(T& out) {
    ScopedLock hold(&lock_);
    if (items_.empty()) return false;
    out = std::move(items_.front());
    items_.pop_front();
    return true;
  }
  size_t size() {
    ScopedLock hold(&lock_);
    return items_.size();
  }

 private:
  std::deque<T> items_;  // guarded by lock_
  LockableObject lock_;
};

}  // namespace pando
