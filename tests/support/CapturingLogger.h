#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/logging/LoggerFront.h"

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

// A logger that keeps every record it is handed, formatted. Safe to log to from several threads.
class CapturingLogger final : public pando::LoggerFront {
 public:
  void vlog(int level, const char* tag, const char* source, const char* format,
            va_list args) override {
    vlogAs(level, "", "", tag, source, format, args);
  }
  void vlogAs(int level, const char* module, const char* component, const char* tag,
              const char* source, const char* format, va_list args) override {
    Record record;
    record.level = level;
    record.module = module ? module : "";
    record.component = component ? component : "";
    record.tag = tag ? tag : "";
    record.source = source ? source : "";
    record.message = formatted(format, args);
    std::lock_guard lock(mutex_);
    records_.push_back(record);
  }

  std::vector<Record> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

  void clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
  }

  // Whether a record with this level and exact message was logged.
  bool has(int level, const std::string& message) const {
    std::lock_guard lock(mutex_);
    for (const Record& record : records_) {
      if (record.level == level && record.message == message) return true;
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;  // guarded by mutex_
};

}  // namespace wendtest
