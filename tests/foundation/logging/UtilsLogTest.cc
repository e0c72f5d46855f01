#include <gtest/gtest.h>

#include <string>
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

TEST_F(UtilsLogTest, AGivenLoggerWinsOverTheFallbacks) {
  CapturingLogger given;
  setPandoUtilsLogHook(recordingHook);
  setPandoUtilsDefaultLogger(&fallback_);
  utilsLog(&given, kLogWarn, "StringUtils", "bad %s", "input");

  ASSERT_EQ(given.records().size(), 1u);
  EXPECT_EQ(given.records()[0].level, kLogWarn);
  EXPECT_EQ(given.records()[0].tag, "");
  EXPECT_EQ(given.records()[0].source, "StringUtils");
  EXPECT_EQ(given.records()[0].message, "bad input");
  EXPECT_TRUE(hookCalls.empty());
  EXPECT_TRUE(fallback_.records().empty());
}

TEST_F(UtilsLogTest, WithoutALoggerTheHookComesFirst) {
  setPandoUtilsLogHook(recordingHook);
  setPandoUtilsDefaultLogger(&fallback_);
  utilsLog(nullptr, kLogError, "PandoEvents", "value %d%%", 50);

  ASSERT_EQ(hookCalls.size(), 1u);
  EXPECT_EQ(hookCalls[0].level, kLogError);
  EXPECT_EQ(hookCalls[0].module, "PandoUtils");
  EXPECT_EQ(hookCalls[0].component, "PandoEvents");
  EXPECT_EQ(hookCalls[0].text, "");
  EXPECT_EQ(hookCalls[0].tag, "");
  EXPECT_EQ(hookCalls[0].message, "value 50%");
  EXPECT_TRUE(fallback_.records().empty());
}

TEST_F(UtilsLogTest, ThenTheDefaultLogger) {
  setPandoUtilsDefaultLogger(&fallback_);
  utilsLog(nullptr, kLogInfo, "FileUtils", "%s", "copied");
  ASSERT_EQ(fallback_.records().size(), 1u);
  EXPECT_EQ(fallback_.records()[0].source, "FileUtils");
  EXPECT_EQ(fallback_.records()[0].message, "copied");
}

}  // namespace
}  // namespace pando
