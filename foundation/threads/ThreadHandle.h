#pragma once

#include <pthread.h>

namespace pando {

// A joinable thread that runs a plain function with one argument. Not thread-safe: one owner
// starts and stops it. Destroying the handle neither joins nor cancels the thread.
//
// startThread overwrites a stored handle without a check: callers ask getThread first.
class ThreadHandle {
 public:
  using StartFunction = void* (*)(void*);

  ThreadHandle() = default;
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;
  ~ThreadHandle() = default;

  // False for a null function or when the thread cannot be created. The function's result is
  // ignored.
  bool startThread(StartFunction function, void* argument, pthread_t* outThread = nullptr);
  // False when no thread is stored. With `cancel`, a thread that accepts the cancellation is
  // detached (the system frees it when it ends) and the handle is cleared. Otherwise, or when the
  // cancellation fails, the thread is joined; `outError` gets the join's code and the result is
  // whether it was 0.
  bool stopThread(int* outError = nullptr, bool cancel = false);
  // 0 when no thread is stored. The handle stays set after the function returns, until stopped.
  pthread_t getThread() const { return thread_; }

 private:
  pthread_t thread_ = 0;
};

}  // namespace pando
