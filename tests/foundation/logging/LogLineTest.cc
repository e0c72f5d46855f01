#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogLine.h"

namespace pando {
namespace {

std::string expand(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = LogLine::message(format, &args);
  va_end(args);
  return text;
}

TEST(LogLineTest, AbsentFieldsKeepTheirSeparatorsAndLevelsHaveTheirNames) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(LogLine::render(kLogInfo, LogFields{}, 9, "m", 1000),
            "01/01/70 00:00:01:000 | [INFO] |  |  |  |  |  |  | 9 | m\n");
  const char* names[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL", "NONE"};
  for (int level = 10; level <= 70; level += 10) {
    EXPECT_STREQ(LogLine::levelName(level), names[level / 10 - 1]);
  }
  EXPECT_STREQ(LogLine::levelName(35), "ALL");
}

TEST(LogLineTest, MessagesAreCutTo4094CharactersAndPreformattedOnesStand) {
  EXPECT_EQ(expand("%s", std::string(5000, 'x').c_str()), std::string(4094, 'x'));
  EXPECT_EQ(expand("%s", std::string(4094, 'y').c_str()).size(), 4094u);
  EXPECT_EQ(expand("%d-%s", 7, "seven"), "7-seven");
  EXPECT_EQ(LogLine::message("50% %s", nullptr), "50% %s");
}

TEST(LogLineTest, OnlyTextWithATokenPairIsReplaced) {
  for (std::string text : {"eyJ alone", "before.eyJ but no earlier part", "plain"}) {
    std::string message = text;
    EXPECT_EQ(LogLine::withoutTokens(message, kLogDebug), kLogDebug) << text;
    EXPECT_EQ(message, text);
  }
}

}  // namespace
}  // namespace pando
