#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"

// Keeps every record it is handed, formatted, so a test can assert on level, component and text.
// Single-threaded use only.
class CapturingLogger final : public pando::AbstractLogger {
 public:
  struct Record {
    int level;
    std::string component;
    std::string text;
  };

  std::vector<Record> records;

  bool has(int level, const std::string& text) const {
    for (const Record& record : records) {
      if (record.level == level && record.text == text) return true;
    }
    return false;
  }

  void trace(const char*, ...) override {}
  void debug(const char*, ...) override {}
  void info(const char*, ...) override {}
  void warn(const char*, const char*, ...) override {}
  void error(const char*, const char*, ...) override {}
  void fatal(const char*, const char*, ...) override {}
  void logAt(int level, const char* tag, const char* source, const char* format, ...) override {
    va_list args;
    va_start(args, format);
    vlog(level, tag, source, format, args);
    va_end(args);
  }
  void vlog(int level, const char*, const char* source, const char* format, va_list args) override {
    char text[4096];
    vsnprintf(text, sizeof text, format, args);
    records.push_back({level, source ? source : "", text});
  }
  void vlogAs(int level, const char*, const char* component, const char* tag, const char*,
              const char* format, va_list args) override {
    vlog(level, tag, component, format, args);
  }
};
