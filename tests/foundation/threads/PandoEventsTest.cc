#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/logging/UtilsLog.h"
#include "foundation/threads/PandoEvents.h"
#include "tests/support/CapturingLogger.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PandoEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    event_ = CreateEvnt();
    ASSERT_NE(event_, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(DestroyEvent(event_), 0);
    pando::setPandoUtilsDefaultLogger(nullptr);
  }

  PANDO_Event_t* event_ = nullptr;
};

TEST_F(PandoEventsTest, ASetBeforeTheWaitIsTakenAtOnceAndOnlyOnce) {
  SetEvnt(event_);
  auto start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, 10000), kEventSignalled);
  EXPECT_LT(Clock::now() - start, 1s);

  start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, 100), kEventTimedOut);
  EXPECT_GE(Clock::now() - start, 100ms);
}

TEST_F(PandoEventsTest, TimeOutZeroOnlyLooksAndSeveralSetsCountAsOne) {
  EXPECT_EQ(WaitforEvent(event_, 0), kEventTimedOut);
  SetEvnt(event_);
  SetEvnt(event_);
  EXPECT_EQ(WaitforEvent(event_, 0), kEventSignalled);
  EXPECT_EQ(WaitforEvent(event_, 0), kEventTimedOut);
}

TEST_F(PandoEventsTest, ASetWakesAnEndlessWait) {
  std::thread setter([this] {
    std::this_thread::sleep_for(50ms);
    SetEvnt(event_);
  });
  EXPECT_EQ(WaitforEvent(event_, kWaitForever), kEventSignalled);
  setter.join();
}

TEST_F(PandoEventsTest, OneSetReleasesOneOfTwoWaiters) {
  std::atomic<int> signalled{0}, timedOut{0};
  auto waiter = [&] {
    int result = WaitforEvent(event_, 500);
    (result == kEventSignalled ? signalled : timedOut).fetch_add(1);
  };
  std::thread first(waiter), second(waiter);
  std::this_thread::sleep_for(100ms);
  SetEvnt(event_);
  first.join();
  second.join();
  EXPECT_EQ(signalled.load(), 1);
  EXPECT_EQ(timedOut.load(), 1);
}

TEST_F(PandoEventsTest, WakeUpsWithoutASignalDoNotExtendTheDeadline) {
  std::atomic<bool> done{false};
  std::thread disturber([&] {
    while (!done.load()) {
      pthread_mutex_lock(&event_->mutex);
      pthread_cond_broadcast(&event_->condition);
      pthread_mutex_unlock(&event_->mutex);
      std::this_thread::sleep_for(5ms);
    }
  });
  auto start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, 200), kEventTimedOut);
  EXPECT_LT(Clock::now() - start, 2s);
  done.store(true);
  disturber.join();
}

TEST_F(PandoEventsTest, ANegativeTimeOutOtherThanForeverIsAnError) {
  SetEvnt(event_);
  auto start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, -2), kEventWaitFailed);
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(WaitforEvent(event_, 0), kEventSignalled) << "a refused wait consumes nothing";
}

TEST_F(PandoEventsTest, NullHandlesAreReportedThroughTheFallbackLogger) {
  wendtest::CapturingLogger fallback;
  pando::setPandoUtilsDefaultLogger(&fallback);
  SetEvnt(nullptr);
  EXPECT_EQ(WaitforEvent(nullptr, 10), kEventWaitFailed);
  EXPECT_EQ(DestroyEvent(nullptr), -1);

  const auto records = fallback.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].message, "NULL PANDO_Event_t object passed in SetEvnt ");
  EXPECT_EQ(records[1].message, "NULL PANDO_Event_t object passed in WaitforEvent ");
  EXPECT_EQ(records[2].message, "NULL PANDO_Event_t object passed in DestroyEvent ");
  for (const auto& record : records) {
    EXPECT_EQ(record.level, pando::kLogError);
    EXPECT_EQ(record.source, "PandoEvents");
  }
}

}  // namespace
