#include <gtest/gtest.h>

#include "foundation/logging/LogCallback.h"
#include "tests/support/CapturingLogger.h"

namespace {

TEST(LogCallbackTest, WritesNothingUntilTheApplicationHandsOverItsLogger) {
  wendtest::CapturingLogger logger;
  LogCallback(40, kBootstrapperModule, "GDEHelper", "", "", "dropped %d", 1);
  EXPECT_TRUE(logger.records().empty());
  setApplicationLogger(&logger);
  LogCallback(40, kBootstrapperModule, "GDEHelper", "ignored", "TAG", "code - %d", 7);
  setApplicationLogger(nullptr);
  ASSERT_EQ(logger.records().size(), 1u);
  const wendtest::Record record = logger.records()[0];
  EXPECT_EQ(std::to_string(record.level) + "|" + record.module + "|" + record.component + "|" +
                record.tag + "|" + record.source + "|" + record.message,
            "40|Bootstrapper|GDEHelper|TAG|Bootstrapper|code - 7");
}

}  // namespace
