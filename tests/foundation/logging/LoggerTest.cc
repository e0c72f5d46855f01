#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/RecordingTarget.h"

namespace pando {
namespace {

using wendtest::RecordingTarget;

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoggingCore::instance().addTarget(&target_)); }
  void TearDown() override { LoggingCore::instance().removeTarget(&target_); }

  void logAs(Logger& logger, const char* module, const char* component, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logger.vlogAs(kLogInfo, module, component, "", "", format, args);
    va_end(args);
  }

  RecordingTarget target_{"logger-test"};
};

TEST_F(LoggerTest, RecordsCarryTheLoggersLabels) {
  Logger logger("logger-test", "one", "two", "Setup", "ApplicationContext");
  logger.info("value %d", 5);
  ASSERT_EQ(target_.records().size(), 1u);
  const auto record = target_.records()[0];
  EXPECT_EQ(record.level, kLogInfo);
  EXPECT_EQ(record.label1, "one");
  EXPECT_EQ(record.label2, "two");
  EXPECT_EQ(record.module, "Setup");
  EXPECT_EQ(record.component, "ApplicationContext");
  EXPECT_EQ(record.message, "value 5");
  EXPECT_EQ(record.timeMs, 0);
}

TEST_F(LoggerTest, NullTextsBecomeEmptyFields) {
  Logger logger("logger-test", nullptr, nullptr, nullptr, nullptr);
  logger.warn(nullptr, "w");
  logger.logAt(35, nullptr, nullptr, "at");
  ASSERT_EQ(target_.records().size(), 2u);
  EXPECT_EQ(target_.records()[0].tag, "");
  EXPECT_EQ(target_.records()[0].level, kLogWarn);
  EXPECT_EQ(target_.records()[1].source, "");
  EXPECT_EQ(target_.records()[1].level, 35);
  EXPECT_EQ(target_.records()[1].module, "");
}

TEST_F(LoggerTest, NullFormatLogsNothing) {
  Logger logger("logger-test");
  logger.trace(nullptr);
  logger.fatal("tag", nullptr);
  logger.logAt(kLogError, "", "", nullptr);
  EXPECT_TRUE(target_.records().empty());
}

TEST_F(LoggerTest, LevelsOfTheFrontEnds) {
  Logger logger("logger-test");
  logger.trace("t");
  logger.debug("d");
  logger.error("E1", "e");
  logger.fatal("F1", "f");
  const auto records = target_.records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].level, kLogTrace);
  EXPECT_EQ(records[1].level, kLogDebug);
  EXPECT_EQ(records[2].level, kLogError);
  EXPECT_EQ(records[2].tag, "E1");
  EXPECT_EQ(records[3].level, kLogFatal);
}

TEST_F(LoggerTest, SetModuleAndComponentRefuseNull) {
  Logger logger("logger-test", "", "", "Before", "Before");
  EXPECT_EQ(logger.setModule(nullptr), 0);
  EXPECT_EQ(logger.setComponent("After"), 1);
  logger.info("x");
  EXPECT_EQ(target_.records()[0].module, "Before");
  EXPECT_EQ(target_.records()[0].component, "After");
}

TEST_F(LoggerTest, PerRecordComponentsLeaveTheSharedLabelsAlone) {
  Logger logger("logger-test", "", "", "Setup", "ApplicationContext");
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      std::string component = "Component" + std::to_string(i);
      for (int n = 0; n < 200; ++n) logAs(logger, "Bootstrapper", component.c_str(), "%d", i);
    });
  }
  for (auto& thread : threads) thread.join();

  for (const auto& record : target_.records()) {
    ASSERT_EQ(record.module, "Bootstrapper");
    ASSERT_EQ(record.component, "Component" + record.message);
  }
  logger.info("own");
  EXPECT_EQ(target_.records().back().component, "ApplicationContext");
}

}  // namespace
}  // namespace pando
