#pragma once

#include <cstddef>
#include <map>
#include <utility>

#include "foundation/threads/LockableObject.h"

namespace pando {

// An ordered map that any thread may use; every operation holds the map's own lock.
template <typename K, typename V>
class ObjectMap {
 public:
  // Adds `key` with `value`; false (the map unchanged) when `key` is already there.
  bool insert(const K& key, V value) {
    ScopedLock hold(&lock_);
    return items_.emplace(key, std::move(value)).second;
  }
  // Copies the value of `key` into `out`; false (`out` untouched) when there is none.
  bool find(const K& key, V& out) {
    ScopedLock hold(&lock_);
    auto found = items_.find(key);
    if (found == items_.end()) return false;
    out = found->second;
    return true;
  }
  // True when `key` was there.
  bool erase(const K& key) {
    ScopedLock hold(&lock_);
    return items_.erase(key) > 0;
  }
  size_t size() {
    ScopedLock hold(&lock_);
    return items_.size();
  }

 private:
  std::map<K, V> items_;  // guarded by lock_
  LockableObject lock_;
};

}  // namespace pando
