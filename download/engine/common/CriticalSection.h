#pragma once

#include <pthread.h>

namespace gde {

// The engine's lock: a plain, non-recursive POSIX mutex with default attributes.
//
// A failing pthread call means the engine's own state can no longer be trusted, so it is logged
// to the engine log and the process exits with the operation's code (see ExitCode). Nothing is
// returned to the caller. A thread that locks it twice deadlocks. It meets BasicLockable, so
// std::lock_guard, std::unique_lock and std::condition_variable_any work with it.
class CriticalSection {
 public:
  enum ExitCode : int {
    kInitFailed = -21,
    kLockFailed = -22,
    kUnlockFailed = -23,
    kDestroyFailed = -24,
  };

  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void lock();
  void unlock();

 private:
  pthread_mutex_t mutex_;
};

}  // namespace gde
