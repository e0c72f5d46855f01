#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>

#include "foundation/threads/ThreadHandle.h"

namespace pando {
namespace {

void* storeArgument(void* argument) {
  static_cast<std::atomic<int>*>(argument)->store(42);
  return nullptr;
}

TEST(ThreadHandleTest, RunsTheFunctionWithItsArgumentAndJoinsIt) {
  std::atomic<int> value{0};
  ThreadHandle handle;
  pthread_t reported = 0;
  int error = 1234;
  EXPECT_FALSE(handle.startThread(nullptr, nullptr));
  EXPECT_FALSE(handle.stopThread(&error)) << "nothing to stop";
  EXPECT_FALSE(handle.stopThread(&error, true));
  EXPECT_EQ(error, 1234);
  ASSERT_TRUE(handle.startThread(storeArgument, &value, &reported));
  EXPECT_EQ(reported, handle.getThread());
  EXPECT_TRUE(handle.stopThread(&error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(value.load(), 42);
  EXPECT_EQ(handle.getThread(), 0u);
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
TEST(ThreadHandleTest, CancellingDetachesTheThreadAndClearsTheHandleWithoutJoining) {
  ThreadHandle handle;
  pthread_t thread = 0;
  ASSERT_TRUE(handle.startThread(holdOffCancellation, nullptr, &thread));
  int error = 1234;
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

}  // namespace
}  // namespace pando
