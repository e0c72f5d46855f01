#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/RecordingTarget.h"

namespace pando {
namespace {

using wendtest::RecordingTarget;

void dispatchFormatted(const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LoggingCore::instance().dispatch(category, kLogInfo, "l1", "l2", "mod", "comp", "tag", "src",
                                   format, args, 0);
  va_end(args);
}

TEST(LoggingCoreTest, RegisteringTwiceRunsInitTwiceButKeepsOneEntry) {
  RecordingTarget target("core-twice");
  ASSERT_TRUE(LoggingCore::instance().addTarget(&target));
  ASSERT_TRUE(LoggingCore::instance().addTarget(&target));
  EXPECT_EQ(target.inits(), 2);
  EXPECT_EQ(target.getUseCount(), 1);

  dispatchFormatted("core-twice", "once");
  EXPECT_EQ(target.records().size(), 1u);

  EXPECT_TRUE(LoggingCore::instance().removeTarget(&target));
  EXPECT_EQ(target.closes(), 1);
  EXPECT_EQ(target.getUseCount(), 0);
}

TEST(LoggingCoreTest, RefusesTargetWhoseInitFails) {
  RecordingTarget target("core-refused", /*initSucceeds=*/false);
  EXPECT_FALSE(LoggingCore::instance().addTarget(&target));
  dispatchFormatted("core-refused", "dropped");
  EXPECT_TRUE(target.records().empty());
  EXPECT_EQ(target.getUseCount(), 0);
  EXPECT_FALSE(LoggingCore::instance().addTarget(nullptr));
}

TEST(LoggingCoreTest, RoutesRecordsOnlyToTheirCategory) {
  RecordingTarget a("core-route-a");
  RecordingTarget b("core-route-b");
  ASSERT_TRUE(LoggingCore::instance().addTarget(&a));
  ASSERT_TRUE(LoggingCore::instance().addTarget(&b));

  dispatchFormatted("core-route-b", "for b");
  dispatchFormatted("core-route-unknown", "for nobody");
  dispatchFormatted(nullptr, "for nobody");

  EXPECT_TRUE(a.records().empty());
  ASSERT_EQ(b.records().size(), 1u);
  const auto record = b.records()[0];
  EXPECT_EQ(record.message, "for b");
  EXPECT_EQ(record.label1, "l1");
  EXPECT_EQ(record.source, "src");
  EXPECT_EQ(record.level, kLogInfo);
  LoggingCore::instance().removeTarget(&a);
  LoggingCore::instance().removeTarget(&b);
}

TEST(LoggingCoreTest, EverySinkGetsTheWholeArgumentList) {
  RecordingTarget first("core-args");
  RecordingTarget second("core-args");
  RecordingTarget third("core-args");
  for (auto* target : {&first, &second, &third}) {
    ASSERT_TRUE(LoggingCore::instance().addTarget(target));
  }

  dispatchFormatted("core-args", "%s=%d (%s)", "count", 42, "long enough to live on the stack");

  for (auto* target : {&first, &second, &third}) {
    ASSERT_EQ(target->records().size(), 1u);
    EXPECT_EQ(target->records()[0].message, "count=42 (long enough to live on the stack)");
    LoggingCore::instance().removeTarget(target);
  }
}

TEST(LoggingCoreTest, PreformattedMessagePassesAsItStands) {
  RecordingTarget target("core-preformatted");
  ASSERT_TRUE(LoggingCore::instance().addTarget(&target));
  LoggingCore::instance().log("core-preformatted", kLogWarn, "", "", "", "", "", "", "100% done %s",
                              1234);
  ASSERT_EQ(target.records().size(), 1u);
  EXPECT_EQ(target.records()[0].message, "100% done %s");
  EXPECT_EQ(target.records()[0].timeMs, 1234);
  LoggingCore::instance().removeTarget(&target);
}

TEST(LoggingCoreTest, RemovalRules) {
  RecordingTarget registered("core-removal");
  RecordingTarget stranger("core-removal");
  RecordingTarget unknown("core-removal-never-registered");
  ASSERT_TRUE(LoggingCore::instance().addTarget(&registered));

  EXPECT_TRUE(LoggingCore::instance().removeTarget(&unknown));
  EXPECT_EQ(unknown.closes(), 0);
  EXPECT_FALSE(LoggingCore::instance().removeTarget(&stranger));
  EXPECT_FALSE(LoggingCore::instance().removeTarget(nullptr));

  EXPECT_TRUE(LoggingCore::instance().removeTarget(&registered));
  dispatchFormatted("core-removal", "after removal");
  EXPECT_TRUE(registered.records().empty());
}

TEST(LoggingCoreTest, SinksComeAndGoWhileOtherThreadsLog) {
  RecordingTarget steady("core-busy");
  ASSERT_TRUE(LoggingCore::instance().addTarget(&steady));
  std::atomic<bool> stop{false};
  std::vector<std::thread> loggers;
  for (int i = 0; i < 4; ++i) {
    loggers.emplace_back([&] {
      while (!stop.load()) dispatchFormatted("core-busy", "%d", 7);
    });
  }
  for (int round = 0; round < 200; ++round) {
    RecordingTarget passing("core-busy");
    ASSERT_TRUE(LoggingCore::instance().addTarget(&passing));
    ASSERT_TRUE(LoggingCore::instance().removeTarget(&passing));
  }
  stop.store(true);
  for (auto& thread : loggers) thread.join();
  LoggingCore::instance().removeTarget(&steady);
  for (const auto& record : steady.records()) ASSERT_EQ(record.message, "7");
}

}  // namespace
}  // namespace pando
