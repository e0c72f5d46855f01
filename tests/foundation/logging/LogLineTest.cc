#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogLine.h"

namespace pando {
namespace {

constexpr int64_t kDecember5th2026 = 1796503474123;  // 20:44:34.123 UTC

class LogLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

std::string expand(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = LogLine::message(format, &args);
  va_end(args);
  return text;
}

TEST_F(LogLineTest, RendersTenFieldsInOrder) {
  LogFields fields{"l1", "l2", "GDE", "Segment", "E42", "src"};
  EXPECT_EQ(LogLine::render(kLogError, fields, 4711, "it broke", kDecember5th2026),
            "12/05/26 20:44:34:123 | [ERROR] | l1 | l2 | GDE | Segment | E42 | src | 4711 | "
            "it broke\n");
}

TEST_F(LogLineTest, AbsentFieldsKeepTheirSeparators) {
  EXPECT_EQ(LogLine::render(kLogInfo, LogFields{}, 9, "m", 1000),
            "01/01/70 00:00:01:000 | [INFO] |  |  |  |  |  |  | 9 | m\n");
}

TEST_F(LogLineTest, LevelNames) {
  EXPECT_STREQ(LogLine::levelName(10), "TRACE");
  EXPECT_STREQ(LogLine::levelName(20), "DEBUG");
  EXPECT_STREQ(LogLine::levelName(30), "INFO");
  EXPECT_STREQ(LogLine::levelName(40), "WARN");
  EXPECT_STREQ(LogLine::levelName(50), "ERROR");
  EXPECT_STREQ(LogLine::levelName(60), "FATAL");
  EXPECT_STREQ(LogLine::levelName(70), "NONE");
  EXPECT_STREQ(LogLine::levelName(35), "ALL");
}

TEST_F(LogLineTest, MessagesAreCutTo4094Characters) {
  std::string longText(5000, 'x');
  EXPECT_EQ(expand("%s", longText.c_str()), std::string(4094, 'x'));
  EXPECT_EQ(expand("%s", std::string(4094, 'y').c_str()).size(), 4094u);
  EXPECT_EQ(expand("%d-%s", 7, "seven"), "7-seven");
}

TEST_F(LogLineTest, PreformattedMessagesStandAsTheyAre) {
  EXPECT_EQ(LogLine::message("50% %s", nullptr), "50% %s");
}

TEST_F(LogLineTest, SignInTokensAreNeverWritten) {
  std::string message = "token=eyJhbGciOiJIUzI1NiJ9.eyJzdWIiOiIxIn0.sig";
  EXPECT_EQ(LogLine::withoutTokens(message, kLogInfo), kLogWarn);
  EXPECT_EQ(message, "Found access/device token. Log skipped.");
}

TEST_F(LogLineTest, TextWithoutATokenPairIsKept) {
  for (std::string text : {"eyJ alone", "before.eyJ but no earlier part", "plain"}) {
    std::string message = text;
    EXPECT_EQ(LogLine::withoutTokens(message, kLogDebug), kLogDebug) << text;
    EXPECT_EQ(message, text);
  }
}

}  // namespace
}  // namespace pando
