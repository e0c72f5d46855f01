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
  void SetUp() override { ASSERT_NE(event_, nullptr); }
  void TearDown() override {
    EXPECT_EQ(DestroyEvent(event_), 0);
    pando::setPandoUtilsDefaultLogger(nullptr);
  }
  PANDO_Event_t* event_ = CreateEvnt();
};

TEST_F(PandoEventsTest, ASetIsTakenOnceAndSeveralSetsCountAsOne) {
  EXPECT_EQ(WaitforEvent(event_, 0), kEventTimedOut) << "a new event is not signalled";
  SetEvnt(event_);
  SetEvnt(event_);
  EXPECT_EQ(WaitforEvent(event_, -2), kEventWaitFailed) << "no negative time-out but forever";
  EXPECT_EQ(WaitforEvent(event_, 10000), kEventSignalled);
  const auto start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, 100), kEventTimedOut);
  EXPECT_GE(Clock::now() - start, 100ms);
}

TEST_F(PandoEventsTest, OneSetReleasesOneOfTwoWaitersAndWakesAnEndlessWait) {
  std::atomic<int> signalled{0};
  auto waiter = [&] { signalled += WaitforEvent(event_, 500) == kEventSignalled ? 1 : 0; };
  std::thread first(waiter), second(waiter);
  std::this_thread::sleep_for(100ms);
  SetEvnt(event_);
  first.join();
  second.join();
  EXPECT_EQ(signalled.load(), 1);
  std::thread setter([this] {
    std::this_thread::sleep_for(50ms);
    SetEvnt(event_);
  });
  EXPECT_EQ(WaitforEvent(event_, kWaitForever), kEventSignalled);
  setter.join();
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
  const auto start = Clock::now();
  EXPECT_EQ(WaitforEvent(event_, 200), kEventTimedOut);
  EXPECT_LT(Clock::now() - start, 2s);
  done.store(true);
  disturber.join();
}

TEST_F(PandoEventsTest, NullHandlesAreReportedThroughTheFallbackLogger) {
  wendtest::CapturingLogger fallback;
  pando::setPandoUtilsDefaultLogger(&fallback);
  SetEvnt(nullptr);
  EXPECT_EQ(WaitforEvent(nullptr, 10), kEventWaitFailed);
  EXPECT_EQ(DestroyEvent(nullptr), -1);
  for (const char* call : {"SetEvnt ", "WaitforEvent ", "DestroyEvent "}) {
    EXPECT_TRUE(
        fallback.has(pando::kLogError, std::string("NULL PANDO_Event_t object passed in ") + call));
  }
}

}  // namespace
