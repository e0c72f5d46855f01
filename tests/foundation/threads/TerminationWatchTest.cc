// The SIGTERM watch, in this process: the test puts a handler of its own in place first, which
// stands for the disposition the watch must give back.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/threads/TerminationWatch.h"
#include "tests/support/WaitUntil.h"

namespace pando {
namespace {

using namespace std::chrono_literals;

std::atomic<int> ownHandlerCalls{0};
void ownHandler(int) {
  ++ownHandlerCalls;
}

// The watch's calls: how many, and on which thread the last one ran.
class Calls {
 public:
  void add() {
    std::lock_guard lock(mutex_);
    ++count_;
    thread_ = std::this_thread::get_id();
    changed_.notify_all();
  }
  bool reach(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return count_ >= count; });
  }
  std::thread::id thread() {
    std::lock_guard lock(mutex_);
    return thread_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;           // guarded by mutex_
  std::thread::id thread_;  // guarded by mutex_
};

class TerminationWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction own {};
    own.sa_handler = ownHandler;
    sigemptyset(&own.sa_mask);
    ASSERT_EQ(sigaction(SIGTERM, &own, &before_), 0);
  }
  void TearDown() override { sigaction(SIGTERM, &before_, nullptr); }

  struct sigaction before_ {};
};

// Each SIGTERM reaches the callback on the watch's own thread, a second watch meanwhile neither
// watches nor disturbs the first, and once the watch has gone the earlier handler hears the
// signal again; a later watch then watches afresh.
TEST_F(TerminationWatchTest, SignalsGoToTheCallbackWhileTheWatchLives) {
  for (int watch = 0; watch < 2; ++watch) {
    SCOPED_TRACE(watch);
    Calls calls;
    {
      TerminationWatch watching([&] { calls.add(); });
      ASSERT_TRUE(watching.watching());
      {
        TerminationWatch second([] { ADD_FAILURE() << "a second watch heard the signal"; });
        EXPECT_FALSE(second.watching());
      }
      for (int round = 1; round <= 2; ++round) {
        ASSERT_EQ(raise(SIGTERM), 0);
        ASSERT_TRUE(calls.reach(round));
      }
      EXPECT_NE(calls.thread(), std::this_thread::get_id());
    }
    const int heard = ownHandlerCalls.load();
    EXPECT_EQ(heard, watch) << "the earlier handler heard nothing while the watch lived";
    ASSERT_EQ(raise(SIGTERM), 0);
    EXPECT_TRUE(wendtest::waitUntil([&] { return ownHandlerCalls.load() == heard + 1; }));
  }
}

}  // namespace
}  // namespace pando
