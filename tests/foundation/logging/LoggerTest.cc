#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "foundation/logging/UtilsLog.h"
#include "tests/foundation/logging/support/RecordingTarget.h"
#include "tests/support/OnThreads.h"

namespace pando {
namespace {

using wendtest::CapturingLogger;
using wendtest::RecordingTarget;

LoggingCore& core() {
  return LoggingCore::instance();
}

void dispatchFormatted(const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  core().dispatch(category, kLogInfo, "l1", "l2", "mod", "comp", "tag", "src", format, args, 0);
  va_end(args);
}

void logAs(Logger& logger, const char* component, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logger.vlogAs(kLogInfo, "Bootstrapper", component, "", "", format, args);
  va_end(args);
}

TEST(LoggerTest, RecordsCarryTheLoggersLabelsAndTheirFrontEndsLevel) {
  RecordingTarget target("logger-test");
  ASSERT_TRUE(core().addTarget(&target));
  Logger logger("logger-test", "one", "two", "Setup", "ApplicationContext");
  logger.info("value %d", 5);
  logger.trace("t");
  logger.debug("d");
  logger.error("E1", "e");
  logger.fatal("F1", "f");
  logger.warn(nullptr, "w");
  logger.trace(nullptr);  // a null format logs nothing
  logger.logAt(kLogError, "", "", nullptr);
  core().removeTarget(&target);
  const auto records = target.records();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(std::tie(records[0].label1, records[0].label2, records[0].module, records[0].component,
                     records[0].message),
            std::make_tuple("one", "two", "Setup", "ApplicationContext", "value 5"));
  const int levels[] = {kLogInfo, kLogTrace, kLogDebug, kLogError, kLogFatal, kLogWarn};
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].level, levels[i]) << i;
  EXPECT_EQ(records[3].tag + records[5].tag, "E1");
}

TEST(LoggerTest, PerRecordComponentsLeaveTheSharedLabelsAlone) {
  RecordingTarget target("logger-threads");
  ASSERT_TRUE(core().addTarget(&target));
  Logger logger("logger-threads", "", "", "Setup", "ApplicationContext");
  EXPECT_EQ(logger.setModule(nullptr), 0);
  wendtest::onThreads(4, [&logger](int i) {
    const std::string component = "Component" + std::to_string(i);
    for (int n = 0; n < 200; ++n) logAs(logger, component.c_str(), "%d", i);
  });
  logger.info("own");
  core().removeTarget(&target);
  auto records = target.records();
  EXPECT_EQ(std::tie(records.back().module, records.back().component),
            std::make_tuple("Setup", "ApplicationContext"));
  records.pop_back();
  for (const auto& record : records) {
    ASSERT_EQ(record.module, "Bootstrapper");
    ASSERT_EQ(record.component, "Component" + record.message);
  }
}

TEST(LoggingCoreTest, RegistrationAndRemovalRules) {
  RecordingTarget target("core-rules"), stranger("core-rules");
  RecordingTarget unknown("core-rules-never-registered");
  RecordingTarget refused("core-rules", /*initSucceeds=*/false);
  ASSERT_TRUE(core().addTarget(&target));
  ASSERT_TRUE(core().addTarget(&target));
  EXPECT_EQ(target.inits(), 2) << "registering twice initialises twice";
  EXPECT_EQ(target.getUseCount(), 1) << "but keeps one entry";
  EXPECT_FALSE(core().addTarget(&refused));
  EXPECT_FALSE(core().addTarget(nullptr));
  dispatchFormatted("core-rules", "once");
  EXPECT_EQ(target.records().size(), 1u);
  EXPECT_TRUE(refused.records().empty());

  EXPECT_TRUE(core().removeTarget(&unknown)) << "a category nobody registered";
  EXPECT_EQ(unknown.closes(), 0);
  EXPECT_FALSE(core().removeTarget(&stranger));
  EXPECT_FALSE(core().removeTarget(nullptr));
  EXPECT_TRUE(core().removeTarget(&target));
  EXPECT_EQ(target.closes(), 1);
  EXPECT_EQ(target.getUseCount(), 0);
  dispatchFormatted("core-rules", "after removal");
  EXPECT_EQ(target.records().size(), 1u);
}

TEST(LoggingCoreTest, RoutesRecordsToEverySinkOfTheirCategoryWithTheWholeArgumentList) {
  RecordingTarget a("core-route-a"), b1("core-route-b"), b2("core-route-b");
  for (auto* target : {&a, &b1, &b2}) ASSERT_TRUE(core().addTarget(target));
  dispatchFormatted("core-route-b", "%s=%d (%s)", "count", 42, "long enough to live on the stack");
  dispatchFormatted("core-route-unknown", "for nobody");
  dispatchFormatted(nullptr, "for nobody");
  core().log("core-route-a", kLogWarn, "", "", "", "", "", "", "100% done %s", 1234);
  for (auto* target : {&a, &b1, &b2}) core().removeTarget(target);
  for (auto* target : {&b1, &b2}) {
    ASSERT_EQ(target->records().size(), 1u);
    const auto record = target->records()[0];
    EXPECT_EQ(record.message, "count=42 (long enough to live on the stack)");
    EXPECT_EQ(record.label1 + record.source, "l1src");
  }
  ASSERT_EQ(a.records().size(), 1u);
  EXPECT_EQ(a.records()[0].message, "100% done %s") << "a preformatted message stands";
  EXPECT_EQ(a.records()[0].timeMs, 1234);
}

TEST(LoggingCoreTest, SinksComeAndGoWhileOtherThreadsLog) {
  RecordingTarget steady("core-busy");
  ASSERT_TRUE(core().addTarget(&steady));
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    for (int round = 0; round < 200; ++round) {
      RecordingTarget passing("core-busy");
      EXPECT_TRUE(core().addTarget(&passing) && core().removeTarget(&passing));
    }
    stop.store(true);
  });
  wendtest::onThreads(4, [&](int) {
    while (!stop.load()) dispatchFormatted("core-busy", "%d", 7);
  });
  churn.join();
  core().removeTarget(&steady);
  for (const auto& record : steady.records()) ASSERT_EQ(record.message, "7");
}

std::vector<std::string> hookCalls;

void recordingHook(int level, const char* module, const char* component, const char*, const char*,
                   const char* format, ...) {
  va_list args;
  va_start(args, format);
  hookCalls.push_back(std::to_string(level) + module + component +
                      wendtest::formatted(format, args));
  va_end(args);
}

TEST(UtilsLogTest, AGivenLoggerThenTheHookThenTheDefaultLogger) {
  CapturingLogger given, fallback;
  setPandoUtilsLogHook(recordingHook);
  setPandoUtilsDefaultLogger(&fallback);
  utilsLog(&given, kLogWarn, "StringUtils", "bad %s", "input");
  EXPECT_TRUE(given.has(kLogWarn, "bad input"));
  EXPECT_EQ(given.records().at(0).source, "StringUtils");
  EXPECT_TRUE(hookCalls.empty());

  utilsLog(nullptr, kLogError, "PandoEvents", "value %d%%", 50);
  EXPECT_EQ(hookCalls, std::vector<std::string>{"50PandoUtilsPandoEventsvalue 50%"});
  EXPECT_TRUE(fallback.records().empty());

  setPandoUtilsLogHook(nullptr);
  utilsLog(nullptr, kLogInfo, "FileUtils", "%s", "copied");
  setPandoUtilsDefaultLogger(nullptr);
  ASSERT_EQ(fallback.records().size(), 1u);
  EXPECT_EQ(fallback.records()[0].source + fallback.records()[0].message, "FileUtilscopied");
}

}  // namespace
}  // namespace pando
