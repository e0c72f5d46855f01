#include "foundation/threads/ThreadHandle.h"

namespace pando {
namespace {

struct ThreadStartArg {
  ThreadHandle::StartFunction function;
  void* argument;
};

void* trampoline(void* raw) {
  // Freed before the call: a thread cancelled inside its function leaks nothing.
  ThreadStartArg start = *static_cast<ThreadStartArg*>(raw);
  delete static_cast<ThreadStartArg*>(raw);
  start.function(start.argument);
  return nullptr;
}

}  // namespace

bool ThreadHandle::startThread(StartFunction function, void* argument, pthread_t* outThread) {
  if (!function) return false;
  auto* start = new ThreadStartArg{function, argument};
  pthread_t thread;
  if (pthread_create(&thread, nullptr, trampoline, start) != 0) {
    delete start;
    return false;
  }
  thread_ = thread;
  if (outThread) *outThread = thread;
  return true;
}

bool ThreadHandle::stopThread(int* outError, bool cancel) {
  if (thread_ == 0) return false;
  if (cancel && pthread_cancel(thread_) == 0) {
    pthread_detach(thread_);
    thread_ = 0;
    return true;
  }
  int error = pthread_join(thread_, nullptr);
  if (error == 0) thread_ = 0;
  if (outError) *outError = error;
  return error == 0;
}

}  // namespace pando
