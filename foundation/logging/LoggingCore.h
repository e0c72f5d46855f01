#pragma once

#include <pthread.h>

#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pando {

class LogTargetBase;

// The process-wide dispatcher from categories to sinks. Any thread may dispatch while others add
// or remove sinks: dispatch holds the registry shared, registration holds it exclusively, and a
// waiting registration goes before new dispatches, so busy loggers cannot starve it. A sink's write
// must therefore not log through the core itself. Sinks are not owned; an owner removes its sink
// before deleting it, and no write is running in it once removeTarget has returned. Records are
// never queued: write runs on the caller's thread before dispatch returns.
class LoggingCore {
 public:
  static LoggingCore& instance();

  // Runs the target's init every time; false (nothing registered) when init fails or target is
  // null. A target registers once per category, however often it is added.
  bool addTarget(LogTargetBase* target);
  // True for an unknown category; false when the target is not registered. Closes the target when
  // its last registration goes and returns close's result.
  bool removeTarget(LogTargetBase* target);

  // Each sink receives its own copy of args. Null or unknown categories are ignored.
  void dispatch(const char* category, int level, const char* label1, const char* label2,
                const char* module, const char* component, const char* tag, const char* source,
                const char* format, va_list args, int64_t timeMs);
  // For a message that is already formatted.
  void log(const char* category, int level, const char* label1, const char* label2,
           const char* module, const char* component, const char* tag, const char* source,
           const char* message, int64_t timeMs);

 private:
  LoggingCore() = default;
  void write(const char* category, int level, const char* label1, const char* label2,
             const char* module, const char* component, const char* tag, const char* source,
             const char* format, va_list* args, int64_t timeMs);

  // A reader-writer lock that prefers writers.
  class RegistryLock {
   public:
    RegistryLock();
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    ~RegistryLock();
    void lock();
    void unlock();
    void lock_shared();
    void unlock_shared();

   private:
    pthread_rwlock_t lock_;
  };

  RegistryLock mutex_;
  std::map<std::string, std::vector<LogTargetBase*>> targets_;  // guarded by mutex_
};

}  // namespace pando
