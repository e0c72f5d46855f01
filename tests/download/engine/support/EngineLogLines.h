#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/logging/LogTargetBase.h"
#include "foundation/logging/LoggingCore.h"

namespace gde::testing {

// Counts the engine's log lines that contain a text, while it lives.
class EngineLogLines final : public pando::LogTargetBase {
 public:
  explicit EngineLogLines(std::string text) : text_(std::move(text)) {
    setCategory("GDE");
    pando::LoggingCore::instance().addTarget(this);
  }
  ~EngineLogLines() override { pando::LoggingCore::instance().removeTarget(this); }

  bool init() override { return true; }
  bool close() override { return true; }
  bool write(int, const char*, const char*, const char*, const char*, const char*, const char*,
             const char* format, va_list* args, int64_t) override {
    char line[2048];
    if (args) {
      std::vsnprintf(line, sizeof line, format, *args);
    } else {
      std::snprintf(line, sizeof line, "%s", format);
    }
    if (std::strstr(line, text_.c_str())) ++count;
    return true;
  }

  std::atomic<int> count{0};

 private:
  const std::string text_;
};

}  // namespace gde::testing
