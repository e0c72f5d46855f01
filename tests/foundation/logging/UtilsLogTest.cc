#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "foundation/logging/UtilsLog.h"
#include "tests/support/CapturingLogger.h"

namespace pando {
namespace {

using wendtest::CapturingLogger;

struct HookCall {
  int level;
  std::string module, component, text, tag, message;
};
std::vector<HookCall> hookCalls;

void recordingHook(int level, const char* module, const char* component, const char* text,
                   const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  hookCalls.push_back({level, module, component, text, tag, wendtest::formatted(format, args)});
  va_end(args);
}

class UtilsLogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setPandoUtilsLogHook(nullptr);
    setPandoUtilsDefaultLogger(nullptr);
    hookCalls.clear();
  }
  CapturingLogger fallback_;
};

TEST_F(UtilsLogTest, AGivenLoggerThenTheHookThenTheDefaultLogger) {
  CapturingLogger given;
  setPandoUtilsLogHook(recordingHook);
  setPandoUtilsDefaultLogger(&fallback_);
  utilsLog(&given, kLogWarn, "StringUtils", "bad %s", "input");
  ASSERT_EQ(given.records().size(), 1u);
  EXPECT_EQ(
      std::tie(given.records()[0].level, given.records()[0].source, given.records()[0].message),
      std::make_tuple(int(kLogWarn), "StringUtils", "bad input"));
  EXPECT_TRUE(hookCalls.empty());

  utilsLog(nullptr, kLogError, "PandoEvents", "value %d%%", 50);
  ASSERT_EQ(hookCalls.size(), 1u);
  EXPECT_EQ(std::tie(hookCalls[0].level, hookCalls[0].module, hookCalls[0].component,
                     hookCalls[0].message),
            std::make_tuple(int(kLogError), "PandoUtils", "PandoEvents", "value 50%"));
  EXPECT_TRUE(fallback_.records().empty());

  setPandoUtilsLogHook(nullptr);
  utilsLog(nullptr, kLogInfo, "FileUtils", "%s", "copied");
  ASSERT_EQ(fallback_.records().size(), 1u);
  EXPECT_EQ(fallback_.records()[0].source, "FileUtils");
  EXPECT_EQ(fallback_.records()[0].message, "copied");
}

}  // namespace
}  // namespace pando
