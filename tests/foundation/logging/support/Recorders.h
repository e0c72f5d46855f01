#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogTargetBase.h"

namespace wendtest {

// One record as a fake logger or sink saw it, with its message already formatted.
struct Record {
  int level = 0;
  std::string label1, label2, module, component, tag, source, message;
  int64_t timeMs = 0;
};

inline std::string formatted(const char* format, va_list args) {
  char text[8192];
  vsnprintf(text, sizeof text, format, args);
  return text;
}

// A sink that keeps what it is given; init can be told to fail.
class RecordingTarget final : public pando::LogTargetBase {
 public:
  explicit RecordingTarget(const char* category, bool initSucceeds = true)
      : initSucceeds_(initSucceeds) {
    setCategory(category);
  }

  bool init() override {
    std::lock_guard lock(mutex_);
    ++inits_;
    return initSucceeds_;
  }
  bool close() override {
    std::lock_guard lock(mutex_);
    ++closes_;
    return true;
  }
  bool write(int level, const char* label1, const char* label2, const char* module,
             const char* component, const char* tag, const char* source, const char* format,
             va_list* args, int64_t timeMs) override {
    Record record{level,     label1, label2, module,
                  component, tag,    source, args ? formatted(format, *args) : format,
                  timeMs};
    std::lock_guard lock(mutex_);
    records_.push_back(record);
    return true;
  }

  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }
  int inits() const {
    std::lock_guard lock(mutex_);
    return inits_;
  }
  int closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
  }

 private:
  const bool initSucceeds_;
  mutable std::mutex mutex_;
  std::vector<Record> records_;  // guarded by mutex_
  int inits_ = 0;                // guarded by mutex_
  int closes_ = 0;               // guarded by mutex_
};

// A logger that keeps what it is given.
class RecordingLogger final : public pando::AbstractLogger {
 public:
#define WENDTEST_FORWARD(level, tag, source) \
  va_list args;                              \
  va_start(args, format);                    \
  vlog(level, tag, source, format, args);    \
  va_end(args)

  void trace(const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogTrace, "", "");
  }
  void debug(const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogDebug, "", "");
  }
  void info(const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogInfo, "", "");
  }
  void warn(const char* tag, const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogWarn, tag, "");
  }
  void error(const char* tag, const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogError, tag, "");
  }
  void fatal(const char* tag, const char* format, ...) override {
    WENDTEST_FORWARD(pando::kLogFatal, tag, "");
  }
  void logAt(int level, const char* tag, const char* source, const char* format, ...) override {
    WENDTEST_FORWARD(level, tag, source);
  }
#undef WENDTEST_FORWARD
  void vlog(int level, const char* tag, const char* source, const char* format,
            va_list args) override {
    vlogAs(level, "", "", tag, source, format, args);
  }
  void vlogAs(int level, const char* module, const char* component, const char* tag,
              const char* source, const char* format, va_list args) override {
    Record record;
    record.level = level;
    record.module = module;
    record.component = component;
    record.tag = tag;
    record.source = source;
    record.message = formatted(format, args);
    std::lock_guard lock(mutex_);
    records_.push_back(record);
  }

  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;  // guarded by mutex_
};

}  // namespace wendtest
