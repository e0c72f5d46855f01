#include <gtest/gtest.h>

#include <string>

#include "foundation/logging/LogCallback.h"

namespace {

class RecordingLogger : public pando::AbstractLogger {
 public:
  virtual ~RecordingLogger() = default;
  void trace(const char*, ...) override {}
  void debug(const char*, ...) override {}
  void info(const char*, ...) override {}
  void warn(const char*, const char*, ...) override {}
  void error(const char*, const char*, ...) override {}
  void fatal(const char*, const char*, ...) override {}
  void logAt(int, const char*, const char*, const char*, ...) override {}
  void vlog(int, const char*, const char*, const char*, va_list) override {}
  void vlogAs(int level, const char* module, const char* component, const char* tag,
              const char* source, const char* format, va_list args) override {
    char text[256];
    vsnprintf(text, sizeof text, format, args);
    line = std::to_string(level) + "|" + module + "|" + component + "|" + tag + "|" + source + "|" +
           text;
  }
  std::string line;
};

TEST(LogCallbackTest, WritesNothingUntilTheApplicationHandsOverItsLogger) {
  RecordingLogger logger;
  LogCallback(40, kBootstrapperModule, "GDEHelper", "", "", "dropped %d", 1);
  EXPECT_TRUE(logger.line.empty());
  setApplicationLogger(&logger);
  LogCallback(40, kBootstrapperModule, "GDEHelper", "ignored", "TAG", "code - %d", 7);
  setApplicationLogger(nullptr);
  EXPECT_EQ(logger.line, "40|Bootstrapper|GDEHelper|TAG|Bootstrapper|code - 7");
}

}  // namespace
