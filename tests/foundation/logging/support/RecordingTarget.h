#pragma once

#include <cstdarg>
#include <mutex>
#include <vector>

#include "foundation/logging/LogTargetBase.h"
#include "tests/support/CapturingLogger.h"

namespace wendtest {

// A sink that keeps what it is given and counts its set-ups and closes; init can be told to fail.
class RecordingTarget final : public pando::LogTargetBase {
 public:
  explicit RecordingTarget(const char* category, bool initSucceeds = true)
      : initSucceeds_(initSucceeds) {
    setCategory(category);
  }

  bool init() override { return std::lock_guard(mutex_), ++inits_, initSucceeds_; }
  bool close() override { return std::lock_guard(mutex_), ++closes_, true; }
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

  std::vector<Record> records() const { return std::lock_guard(mutex_), records_; }
  int inits() const { return std::lock_guard(mutex_), inits_; }
  int closes() const { return std::lock_guard(mutex_), closes_; }

 private:
  const bool initSucceeds_;
  mutable std::mutex mutex_;
  std::vector<Record> records_;  // guarded by mutex_
  int inits_ = 0;                // guarded by mutex_
  int closes_ = 0;               // guarded by mutex_
};

}  // namespace wendtest
