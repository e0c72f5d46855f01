#pragma once

#include <mutex>
#include <string>

namespace pando {

// A lock that serialises its users. A named lock is recursive: the holding thread may take it
// again (and must give it back as often). An unnamed lock is a plain mutex that its holder must
// not take again. Any thread; unlock only from the holding thread.
class LockableObject {
 public:
  explicit LockableObject(const std::string& name = "");
  LockableObject(const LockableObject&) = delete;
  LockableObject& operator=(const LockableObject&) = delete;
  ~LockableObject() = default;

  void lock();
  void unlock();
  const std::string& name() const { return name_; }
  bool usesMutex() const { return usesMutex_; }

 private:
  const std::string name_;
  const bool usesMutex_;
  std::recursive_mutex recursive_;  // used when named
  std::mutex mutex_;                // used when unnamed
};

// Holds a LockableObject for its own lifetime.
class ScopedLock {
 public:
  explicit ScopedLock(LockableObject* lockable) : lockable_(lockable) { lockable_->lock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;
  ~ScopedLock() { lockable_->unlock(); }

 private:
  LockableObject* lockable_;
};

}  // namespace pando
