#pragma once

#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>

namespace pando {

// A sink of the logging core. LoggingCore::addTarget calls init; removeTarget calls close when the
// last registration goes. write may be called from any thread and serialises itself.
class LogTargetBase {
 public:
  LogTargetBase() = default;
  LogTargetBase(const LogTargetBase&) = delete;
  LogTargetBase& operator=(const LogTargetBase&) = delete;
  virtual ~LogTargetBase() = default;

  virtual bool init() = 0;
  virtual bool close() = 0;
  // args is null for a message that is already formatted (format is then the message); otherwise
  // it is the sink's own copy, which it may consume. timeMs 0 means "now".
  virtual bool write(int level, const char* label1, const char* label2, const char* module,
                     const char* component, const char* tag, const char* source, const char* format,
                     va_list* args, int64_t timeMs) = 0;

  // False for a null text (the category is unchanged).
  bool setCategory(const char* category);
  std::string getCategory() const;

  int incrementUseCount();
  int decrementUseCount();
  int getUseCount() const;

 private:
  mutable std::mutex mutex_;
  std::string category_;  // guarded by mutex_
  int useCount_ = 0;      // guarded by mutex_
};

}  // namespace pando
