#pragma once

#include <cstdarg>
#include <mutex>
#include <vector>

#include "foundation/logging/LogTargetBase.h"
#include "tests/support/CapturingLogger.h"

namespace wendtest {

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

}  // namespace wendtest
