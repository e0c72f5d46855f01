#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "mediation/ui/ProgressEstimator.h"

namespace mediation {
namespace {

class FakeSeconds final : public MonotonicSeconds {
 public:
  int64_t now() const override { return now_.load(); }
  void set(int64_t seconds) { now_.store(seconds); }

 private:
  std::atomic<int64_t> now_{1000};
};

constexpr int kSilent = ProgressEstimator::kNotReporting;

class ProgressEstimatorTest : public testing::Test {
 protected:
  // One progress message at `seconds` after the clock's start.
  ProgressFigures at(int64_t seconds, int product, int desktop) {
    clock_.set(1000 + seconds);
    return estimator_.update(product, desktop);
  }

  FakeSeconds clock_;
  ProgressEstimator estimator_{clock_};
};

TEST_F(ProgressEstimatorTest, PhasesFoldIntoOneBarByWeightage) {
  struct Row {
    int product, desktop, progress;
  } rows[] = {{kSilent, 0, 0},  {kSilent, 50, 15}, {kSilent, 99, 29},
              {0, kSilent, 30}, {50, kSilent, 65}, {100, kSilent, 100}};
  for (const Row& row : rows) {
    EXPECT_EQ(at(0, row.product, row.desktop).progress, row.progress)
        << row.product << " " << row.desktop;
  }
}

TEST_F(ProgressEstimatorTest, NoRangeInTheFirstMinuteOrBelowTheThreshold) {
  at(0, kSilent, 10);
  // 60 s in: still no estimate; 20 of the desktop phase is overall 6, the threshold for 0.3.
  EXPECT_EQ(at(60, kSilent, 60), (ProgressFigures{0, 0, 18}));
  EXPECT_EQ(at(61, kSilent, 19), (ProgressFigures{0, 0, 5}));
  ProgressFigures figures = at(61, kSilent, 20);
  EXPECT_EQ(figures.progress, 6);
  EXPECT_GT(figures.minutesLeftMin, 0);
  EXPECT_EQ(figures.minutesLeftMax, figures.minutesLeftMin + 2);
}

TEST_F(ProgressEstimatorTest, BoundsOnlyFall) {
  at(0, kSilent, 50);
  // (70 x 120 / 30 + 60) x 1.1 / 60 x 0.5 = 3.11: k = 3.
  EXPECT_EQ(at(120, kSilent, 100), (ProgressFigures{6, 8, 30}));
  // A slower pace would give k = 9; the range shown stays.
  EXPECT_EQ(at(1000, kSilent, 100), (ProgressFigures{6, 8, 30}));
  // Nearly done: k = 0.
  EXPECT_EQ(at(1001, 99, kSilent), (ProgressFigures{0, 2, 99}));
}

// The first desktop figure; overall progress at desktop 100; the share then; overall at product 50.
TEST_F(ProgressEstimatorTest, DesktopFinishingUnseenShrinksItsShareForGoodElseKeepsIt) {
  struct Row {
    int first, atHundred;
    float share;
    int atProductHalf;
  } rows[] = {{5, 5, 0.05f, 52 /* 0.95 x 50 + 5 */}, {6, 30, 0.3f, 65}};
  for (const Row& row : rows) {
    ProgressEstimator estimator(clock_);
    estimator.update(kSilent, row.first);
    EXPECT_EQ(estimator.update(kSilent, 100).progress, row.atHundred) << row.first;
    EXPECT_FLOAT_EQ(estimator.weightage(), row.share);
    EXPECT_EQ(estimator.update(50, kSilent).progress, row.atProductHalf);
  }
}

TEST_F(ProgressEstimatorTest, TinyShareEstimatesFromNothing) {
  EXPECT_FLOAT_EQ(estimator_.updateWeightage("1", "99"), 0.01f);
  at(0, kSilent, 0);
  // 6000060 x 1.1 / 60 x 0.5 gives k = 55000: above both starting bounds.
  EXPECT_EQ(at(61, kSilent, 0), (ProgressFigures{10000, 10002, 0}));
}

TEST_F(ProgressEstimatorTest, SizesThatCannotWeighLeaveTheShare) {
  struct Row {
    const char *tarn, *product;
  } rows[] = {{"0", "100"}, {"100", "0"}, {"100", ""}, {"", ""}, {"-1", "2"}, {"x", "5"}};
  for (const Row& row : rows) {
    EXPECT_FLOAT_EQ(estimator_.updateWeightage(row.tarn, row.product), 0.3f)
        << row.tarn << "/" << row.product;
  }
  EXPECT_FLOAT_EQ(estimator_.updateWeightage("300", "700"), 0.3f);
  EXPECT_FLOAT_EQ(estimator_.updateWeightage("0x10", "48"), 0.25f);
}

// Steps at seconds from the start: o opens a pause, c closes one, s is the first progress. The
// pauses that count leave 60 s of work at 60 + `counted`: no range then, one a second later.
TEST_F(ProgressEstimatorTest, OnlyTheOpenPauseAfterTheStartIsSubtracted) {
  struct Row {
    const char* steps;
    int64_t counted;
  } rows[] = {{"s0 o10 c40", 30},
              {"o-100 c-50 o-10 s0 c10", 10},  // sign-in alerts; one open at the start
              {"s0 c5 o10 o20 c30 c30", 10}};  // a stray close, a reopen, a double close
  for (const Row& row : rows) {
    ProgressEstimator estimator(clock_);
    std::istringstream steps(row.steps);
    char what;
    int64_t at;
    while (steps >> what >> at) {
      clock_.set(1000 + at);
      if (what == 'o') estimator.openPause();
      if (what == 'c') estimator.closePause();
      if (what == 's') estimator.update(kSilent, 50);
    }
    clock_.set(1000 + 60 + row.counted);
    EXPECT_EQ(estimator.update(kSilent, 50).minutesLeftMin, 0) << row.steps;
    clock_.set(1000 + 61 + row.counted);
    EXPECT_GT(estimator.update(kSilent, 50).minutesLeftMin, 0) << row.steps;
  }
}

TEST(ProgressEstimatorPauseTable, WhichMessagesOpenAndClose) {
  for (const char* command : {"showErrorAlert", "showProxyAlert", "showPathErrorAlert",
                              "showCompatibilityErrorAlert", "showQuitConfirmation"}) {
    EXPECT_TRUE(ProgressEstimator::opensPause(command, WorkflowState::kStartDesktopAppInstall))
        << command;
  }
  EXPECT_FALSE(
      ProgressEstimator::opensPause("showQuitConfirmation", WorkflowState::kProductInstall));
  EXPECT_TRUE(ProgressEstimator::opensPause("showErrorAlert", WorkflowState::kProductInstall));
  EXPECT_FALSE(ProgressEstimator::opensPause("updateProgress", WorkflowState::kNone));
  for (const char* answer : {"quitConfirmationNoClicked", "quitConfirmationYesClicked",
                             "retryClicked", "proxyAlertLoginButtonClicked"}) {
    EXPECT_TRUE(ProgressEstimator::closesPause(answer)) << answer;
  }
  EXPECT_FALSE(ProgressEstimator::closesPause("documentReady"));
}

TEST(ProgressEstimatorThreads, ConcurrentProgressAndPausesKeepBoundsFalling) {
  FakeSeconds clock;
  ProgressEstimator estimator(clock);
  std::atomic<bool> done{false};
  std::vector<std::thread> senders;
  std::vector<std::vector<ProgressFigures>> seen(3);
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t == 0) clock.set(1000 + i);
        seen[t].push_back(t == 2 ? estimator.update(i % 101, kSilent)
                                 : estimator.update(kSilent, i % 101));
      }
    });
  }
  std::thread answers([&] {
    while (!done.load()) {
      estimator.openPause();
      estimator.closePause();
    }
  });
  for (std::thread& sender : senders) sender.join();
  done.store(true);
  answers.join();
  for (const auto& figures : seen) {
    int32_t lowest = ProgressEstimator::kNoMinutesMin;
    for (const ProgressFigures& f : figures) {
      if (f.minutesLeftMax == 0) continue;
      EXPECT_LE(f.minutesLeftMin, lowest);
      lowest = f.minutesLeftMin;
    }
  }
}

}  // namespace
}  // namespace mediation
