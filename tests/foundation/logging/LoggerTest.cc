#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/RecordingTarget.h"

namespace pando {
namespace {

void logAs(Logger& logger, const char* component, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logger.vlogAs(kLogInfo, "Bootstrapper", component, "", "", format, args);
  va_end(args);
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoggingCore::instance().addTarget(&target_)); }
  void TearDown() override { LoggingCore::instance().removeTarget(&target_); }
  wendtest::RecordingTarget target_{"logger-test"};
};

TEST_F(LoggerTest, RecordsCarryTheLoggersLabelsAndTheirFrontEndsLevel) {
  Logger logger("logger-test", "one", "two", "Setup", "ApplicationContext");
  logger.info("value %d", 5);
  logger.trace("t");
  logger.debug("d");
  logger.error("E1", "e");
  logger.fatal("F1", "f");
  logger.warn(nullptr, "w");
  logger.trace(nullptr);  // a null format logs nothing
  logger.logAt(kLogError, "", "", nullptr);
  const auto records = target_.records();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(std::tie(records[0].label1, records[0].label2, records[0].module, records[0].component,
                     records[0].message),
            std::make_tuple("one", "two", "Setup", "ApplicationContext", "value 5"));
  EXPECT_EQ(records[0].timeMs, 0);
  const int levels[] = {kLogInfo, kLogTrace, kLogDebug, kLogError, kLogFatal, kLogWarn};
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].level, levels[i]) << i;
  EXPECT_EQ(records[3].tag, "E1");
  EXPECT_EQ(records[5].tag, "");
}

TEST_F(LoggerTest, PerRecordComponentsLeaveTheSharedLabelsAlone) {
  Logger logger("logger-test", "", "", "Setup", "ApplicationContext");
  EXPECT_EQ(logger.setModule(nullptr), 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&logger, i] {
      const std::string component = "Component" + std::to_string(i);
      for (int n = 0; n < 200; ++n) logAs(logger, component.c_str(), "%d", i);
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& record : target_.records()) {
    ASSERT_EQ(record.module, "Bootstrapper");
    ASSERT_EQ(record.component, "Component" + record.message);
  }
  logger.info("own");
  EXPECT_EQ(target_.records().back().component, "ApplicationContext");
  EXPECT_EQ(target_.records().back().module, "Setup");
}

}  // namespace
}  // namespace pando
