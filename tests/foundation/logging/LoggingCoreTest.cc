#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/logging/LoggingCore.h"
#include "tests/foundation/logging/support/RecordingTarget.h"

namespace pando {
namespace {

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

TEST(LoggingCoreTest, RegistrationAndRemovalRules) {
  RecordingTarget target("core-rules");
  RecordingTarget stranger("core-rules");
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
  RecordingTarget a("core-route-a");
  RecordingTarget b1("core-route-b");
  RecordingTarget b2("core-route-b");
  for (auto* target : {&a, &b1, &b2}) ASSERT_TRUE(core().addTarget(target));
  dispatchFormatted("core-route-b", "%s=%d (%s)", "count", 42, "long enough to live on the stack");
  dispatchFormatted("core-route-unknown", "for nobody");
  dispatchFormatted(nullptr, "for nobody");
  core().log("core-route-a", kLogWarn, "", "", "", "", "", "", "100% done %s", 1234);
  for (auto* target : {&b1, &b2}) {
    ASSERT_EQ(target->records().size(), 1u);
    const auto record = target->records()[0];
    EXPECT_EQ(record.message, "count=42 (long enough to live on the stack)");
    EXPECT_EQ(record.label1 + record.source, "l1src");
    EXPECT_EQ(record.level, kLogInfo);
  }
  ASSERT_EQ(a.records().size(), 1u);
  EXPECT_EQ(a.records()[0].message, "100% done %s") << "a preformatted message stands";
  EXPECT_EQ(a.records()[0].timeMs, 1234);
  for (auto* target : {&a, &b1, &b2}) core().removeTarget(target);
}

TEST(LoggingCoreTest, SinksComeAndGoWhileOtherThreadsLog) {
  RecordingTarget steady("core-busy");
  ASSERT_TRUE(core().addTarget(&steady));
  std::atomic<bool> stop{false};
  std::vector<std::thread> loggers;
  for (int i = 0; i < 4; ++i) {
    loggers.emplace_back([&] {
      while (!stop.load()) dispatchFormatted("core-busy", "%d", 7);
    });
  }
  for (int round = 0; round < 200; ++round) {
    RecordingTarget passing("core-busy");
    ASSERT_TRUE(core().addTarget(&passing));
    ASSERT_TRUE(core().removeTarget(&passing));
  }
  stop.store(true);
  for (auto& thread : loggers) thread.join();
  core().removeTarget(&steady);
  for (const auto& record : steady.records()) ASSERT_EQ(record.message, "7");
}

}  // namespace
}  // namespace pando
