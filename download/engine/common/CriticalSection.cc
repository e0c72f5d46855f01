#include "download/engine/common/CriticalSection.h"

#include <unistd.h>

#include "download/engine/common/EngineLog.h"
#include "foundation/logging/AbstractLogger.h"

namespace gde {
namespace {

// Another thread may be inside the engine holding this very lock: running destructors or atexit
// handlers from here could deadlock, so the process ends at once.
[[noreturn]] void endProcess(const char* message, int error, int exitCode) {
  engineLog(pando::kLogError, "CriticalSection", "%s (%d)", message, error);
  _exit(exitCode);
}

}  // namespace

CriticalSection::CriticalSection() {
  if (int error = pthread_mutex_init(&mutex_, nullptr)) {
    endProcess("Error initializing mutex", error, kInitFailed);
  }
}

CriticalSection::~CriticalSection() {
  if (int error = pthread_mutex_destroy(&mutex_)) {
    endProcess("Error deleting mutex", error, kDestroyFailed);
  }
}

void CriticalSection::lock() {
  if (int error = pthread_mutex_lock(&mutex_)) {
    endProcess("Error acquiring mutex", error, kLockFailed);
  }
}

void CriticalSection::unlock() {
  if (int error = pthread_mutex_unlock(&mutex_)) {
    endProcess("Error releasing mutex", error, kUnlockFailed);
  }
}

}  // namespace gde
