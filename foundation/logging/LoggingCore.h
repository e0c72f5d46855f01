#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

namespace pando {

class LogTargetBase;

// The process-wide dispatcher from categories to sinks. Any thread may dispatch while others add
// or remove sinks: dispatch holds the registry shared, registration holds it exclusively. Sinks are
// not owned; an owner removes its sink before deleting it. Records are never queued: write runs on
// the caller's thread before dispatch returns.
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

  std::shared_mutex mutex_;
  std::map<std::string, std::vector<LogTargetBase*>> targets_;  // guarded by mutex_
};

}  // namespace pando
