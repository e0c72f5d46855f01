#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "foundation/logging/UtilsLog.h"
#include "foundation/threads/LockableObject.h"
#include "foundation/threads/ObjectMap.h"
#include "foundation/threads/ObjectQueue.h"
#include "foundation/threads/PandoEvents.h"
#include "foundation/threads/ThreadHandle.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/OnThreads.h"

namespace pando {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A lock that does not exclude loses increments (and ThreadSanitizer reports the race).
TEST(LockableObjectTest, PlainAndNamedLocksExcludeOtherThreadsAndANamedOneLetsItsHolderIn) {
  LockableObject plain;
  LockableObject named("DLEHTTPCommunicator::HttpCommunicator::NTLM");
  { ScopedLock outer(&named), inner(&named); }
  for (LockableObject* lockable : {&plain, &named}) {
    int counter = 0;
    wendtest::onThreads(4, [&](int) {
      for (int i = 0; i < 10000; ++i) {
        ScopedLock hold(lockable);
        ++counter;
      }
    });
    EXPECT_EQ(counter, 40000);
  }
}

TEST(ObjectQueueAndMapTest, KeepOrderLoseNoPushFromManyThreadsAndKeepAnExistingKeysValue) {
  ObjectQueue<std::string> queue, ordered;
  wendtest::onThreads(4, [&queue](int t) {
    for (int i = 0; i < 1000; ++i) queue.push(std::to_string(t));
  });
  EXPECT_EQ(queue.size(), 4000u);
  ordered.push("a");
  ordered.push("b");
  std::string out;
  EXPECT_TRUE(ordered.pop(out) && out == "a" && ordered.pop(out) && out == "b");
  EXPECT_FALSE(ordered.pop(out) || out != "b") << "an empty queue leaves `out` alone";

  ObjectMap<std::string, int> map;
  int value = 0;
  EXPECT_TRUE(map.insert("one", 1) && !map.insert("one", 2) && map.find("one", value));
  EXPECT_TRUE(map.erase("one") && !map.erase("one") && !map.find("one", value) && value == 1);
}

void* storeArgument(void* argument) {
  static_cast<std::atomic<int>*>(argument)->store(42);
  return nullptr;
}

// Holds off cancellation until the test lets it go, so that it is still alive when the test looks
// at it; it ends without reaching a cancellation point.
std::atomic<bool> letGo{false}, ended{false};

void* holdOffCancellation(void*) {
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  while (!letGo.load()) sched_yield();
  ended.store(true);
  return nullptr;
}

// A cancelled thread is never joined, so unless it is detached its resources are never freed.
TEST(ThreadHandleTest, JoinsTheThreadItRanOrDetachesOneItCancelledAndClearsTheHandle) {
  std::atomic<int> value{0};
  ThreadHandle handle;
  pthread_t thread = 0;
  int error = 1234;
  EXPECT_FALSE(handle.startThread(nullptr, nullptr));
  EXPECT_FALSE(handle.stopThread(&error)) << "nothing to stop";
  EXPECT_EQ(error, 1234);
  ASSERT_TRUE(handle.startThread(storeArgument, &value, &thread));
  EXPECT_TRUE(handle.stopThread(&error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(value.load(), 42);
  EXPECT_EQ(handle.getThread(), 0u);

  ASSERT_TRUE(handle.startThread(holdOffCancellation, nullptr, &thread));
  error = 1234;
  EXPECT_TRUE(handle.stopThread(&error, true));
  EXPECT_EQ(handle.getThread(), 0u);
  EXPECT_EQ(error, 1234) << "no join took place";
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_getattr_np(thread, &attributes), 0);
  int state = -1;
  pthread_attr_getdetachstate(&attributes, &state);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(state, PTHREAD_CREATE_DETACHED);
  letGo.store(true);
  while (!ended.load()) sched_yield();
}

class PandoEventsTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(DestroyEvent(event_), 0); }
  std::thread setLater(std::chrono::milliseconds delay) {
    return std::thread([this, delay] {
      std::this_thread::sleep_for(delay);
      SetEvnt(event_);
    });
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
  std::thread setter = setLater(100ms);
  wendtest::onThreads(2, [&](int) { signalled += WaitforEvent(event_, 500) == kEventSignalled; });
  setter.join();
  EXPECT_EQ(signalled.load(), 1);
  setter = setLater(50ms);
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

TEST(PandoEventsNullTest, NullHandlesAreReportedThroughTheFallbackLogger) {
  wendtest::CapturingLogger fallback;
  setPandoUtilsDefaultLogger(&fallback);
  SetEvnt(nullptr);
  EXPECT_EQ(WaitforEvent(nullptr, 10), kEventWaitFailed);
  EXPECT_EQ(DestroyEvent(nullptr), -1);
  setPandoUtilsDefaultLogger(nullptr);
  for (const char* call : {"SetEvnt ", "WaitforEvent ", "DestroyEvent "}) {
    EXPECT_TRUE(
        fallback.has(kLogError, std::string("NULL PANDO_Event_t object passed in ") + call));
  }
}

}  // namespace
}  // namespace pando
