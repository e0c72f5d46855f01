#include <gtest/gtest.h>

#include "download/engine/workers/HangWatch.h"

namespace gde {
namespace {

using std::chrono::seconds;
using Clock = EngineClock;

const Clock::TimePoint kStart{std::chrono::hours(10)};

ThreadActivityBoard::Record busySince(Clock::TimePoint start,
                                      Clock::TimePoint lastData = Clock::TimePoint{}) {
  ThreadActivityBoard::Record record;
  record.busy = true;
  record.jobStart = start;
  record.lastData = lastData;
  return record;
}

TEST(HangWatchTest, ASilentConnectionIsCancelledAt101SecondsNotAt100) {
  HangWatch watch(seconds(101), 100);
  std::map<uint32_t, ThreadActivityBoard::Record> activity{{3, busySince(kStart)}};
  EXPECT_TRUE(watch.check(activity, kStart + seconds(100)).cancel.empty());
  EXPECT_EQ(watch.check(activity, kStart + seconds(101)).cancel, std::vector<uint32_t>{3});
}

TEST(HangWatchTest, SilenceCountsFromTheLastDataAndIdleThreadsAreLeftAlone) {
  HangWatch watch(seconds(101), 100);
  ThreadActivityBoard::Record idle = busySince(kStart);
  idle.busy = false;
  std::map<uint32_t, ThreadActivityBoard::Record> activity{
      {0, busySince(kStart, kStart + seconds(50))}, {1, idle}};
  EXPECT_TRUE(watch.check(activity, kStart + seconds(150)).cancel.empty());
  EXPECT_EQ(watch.check(activity, kStart + seconds(151)).cancel, std::vector<uint32_t>{0});
}

TEST(HangWatchTest, The101stCancellationWithoutDataDeclaresDeadConnectionsOnce) {
  HangWatch watch(seconds(101), 100);
  std::map<uint32_t, ThreadActivityBoard::Record> activity{{0, busySince(kStart)}};
  for (int pass = 1; pass <= 100; ++pass) {
    EXPECT_FALSE(watch.check(activity, kStart + seconds(200)).deadConnections) << pass;
  }
  EXPECT_TRUE(watch.check(activity, kStart + seconds(200)).deadConnections);
  EXPECT_FALSE(watch.check(activity, kStart + seconds(200)).deadConnections) << "counts anew";
}

TEST(HangWatchTest, DataOnAnyThreadForgivesEarlierCancellations) {
  HangWatch watch(seconds(101), 1);
  std::map<uint32_t, ThreadActivityBoard::Record> hung{{0, busySince(kStart)}};
  std::map<uint32_t, ThreadActivityBoard::Record> flowing{
      {1, busySince(kStart, kStart + seconds(199))}};
  watch.check(hung, kStart + seconds(200));
  watch.check(flowing, kStart + seconds(200));
  EXPECT_FALSE(watch.check(hung, kStart + seconds(200)).deadConnections);
}

}  // namespace
}  // namespace gde
