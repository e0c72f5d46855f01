#include <gtest/gtest.h>

#include "download/engine/workers/AdaptiveThreadController.h"
#include "tests/download/engine/support/FakeEngineClock.h"

namespace gde {
namespace {

using Ctl = AdaptiveThreadController;

class FakeOwner : public AdaptiveControllerOwner {
 public:
  uint64_t totalBytesReceived() const override { return total; }
  uint32_t serializationJobsWaiting() const override { return waiting; }
  int32_t notifyIntercepts(int32_t event, const void* data, uint32_t size) override {
    lastEvent = event;
    lastSize = size;
    if (event == 11) lastStats = *static_cast<const AdaptiveStatistics*>(data);
    return 0;
  }
  uint64_t total = 0;
  uint32_t waiting = 0;
  int32_t lastEvent = 0;
  uint32_t lastSize = 0;
  AdaptiveStatistics lastStats{};
};

class AdaptiveThreadControllerTest : public ::testing::Test {
 protected:
  // Feeds `seconds` one-second samples of `kbPerSecond` KB/s.
  void feed(uint64_t kbPerSecond, int seconds) {
    for (int i = 0; i < seconds; ++i) {
      clock.advance(std::chrono::seconds(1));
      owner.total += kbPerSecond * 1000;
      controller.tick();
    }
  }
  // A steady rate until both rings hold only it.
  void settle(uint64_t kbPerSecond) { feed(kbPerSecond, 16); }

  FakeOwner owner;
  testing::FakeEngineClock clock;
  Ctl controller{owner, clock};
  bool decided = false;
};

TEST_F(AdaptiveThreadControllerTest, OnlyTimeThatPassedMakesASample) {
  controller.tick();  // the first tick only marks the start: no false zero in the ring
  owner.total = 5'000'000;
  controller.tick();  // no time passed
  EXPECT_EQ(controller.meanThroughput(), 0u);
  clock.advance(std::chrono::milliseconds(500));
  controller.tick();
  EXPECT_EQ(controller.meanThroughput(), 10000u) << "5 MB in half a second";
  clock.advance(std::chrono::milliseconds(1500));
  owner.total += 3'000'000;
  controller.tick();
  EXPECT_EQ(controller.meanThroughput(), (10000u + 2000u) / 2);
}

TEST_F(AdaptiveThreadControllerTest, FirstStableDecisionAddsAThread) {
  settle(1000);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kMore);
  EXPECT_TRUE(decided);
  EXPECT_EQ(controller.state(), Ctl::kExcite);
  EXPECT_EQ(controller.referenceThroughput(), 1000u);
}

TEST_F(AdaptiveThreadControllerTest, AnUnsettledAverageDecidesNothing) {
  feed(1000, 4);
  feed(4000, 1);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kSame);
  EXPECT_FALSE(decided);
  EXPECT_EQ(controller.state(), Ctl::kExcite);
}

TEST_F(AdaptiveThreadControllerTest, AFlatStretchProbesInAlternateDirections) {
  settle(1000);
  controller.setState(Ctl::kNop);
  controller.evaluate(decided);  // reference 0 -> 1000: positive, back to EXCITE
  controller.setState(Ctl::kNop);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kSame);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kMore);
  EXPECT_EQ(controller.state(), Ctl::kProbeExcite);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kFewer);  // equal in PROBE_EXCITE: NOP
  EXPECT_EQ(controller.state(), Ctl::kNop);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kSame);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kFewer);
  EXPECT_EQ(controller.state(), Ctl::kProbeDamp);
}

TEST_F(AdaptiveThreadControllerTest, ProbingUsesAFivePercentBand) {
  settle(1000);
  controller.evaluate(decided);
  controller.setState(Ctl::kProbeExcite);
  settle(1040);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kFewer);
  EXPECT_EQ(controller.state(), Ctl::kNop);
  controller.setState(Ctl::kProbeExcite);
  settle(1100);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kMore);
  EXPECT_EQ(controller.state(), Ctl::kExcite);
}

TEST_F(AdaptiveThreadControllerTest, AFallingRateRemovesAThread) {
  settle(1000);
  controller.evaluate(decided);
  settle(500);
  EXPECT_EQ(controller.evaluate(decided), Ctl::kFewer);
  EXPECT_EQ(controller.state(), Ctl::kDamp);
}

TEST_F(AdaptiveThreadControllerTest, ABackedUpWriterForcesDampWithoutTheVarianceTest) {
  feed(1000, 2);
  feed(9000, 1);
  owner.waiting = 501;
  EXPECT_EQ(controller.evaluate(decided), Ctl::kFewer);
  EXPECT_TRUE(decided);
  EXPECT_EQ(controller.state(), Ctl::kDamp);
}

TEST_F(AdaptiveThreadControllerTest, PublishesItsFiguresAsEvent11) {
  settle(1000);
  controller.evaluate(decided);
  controller.sendStatistics();
  EXPECT_EQ(owner.lastEvent, 11);
  EXPECT_EQ(owner.lastSize, sizeof(AdaptiveStatistics));
  EXPECT_EQ(owner.lastStats.meanThroughput, 1000u);
  EXPECT_STREQ(owner.lastStats.previousState, "EXCITE");
  EXPECT_EQ(owner.lastStats.stable, 1u);
}

}  // namespace
}  // namespace gde
