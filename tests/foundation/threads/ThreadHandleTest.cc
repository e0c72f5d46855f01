#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "foundation/threads/ThreadHandle.h"

namespace pando {
namespace {

void* storeArgument(void* argument) {
  static_cast<std::atomic<int>*>(argument)->store(42);
  return nullptr;
}

// Blocks in a cancellation point until the thread is cancelled.
void* blockUntilCancelled(void* argument) {
  int* fds = static_cast<int*>(argument);
  char byte;
  while (read(fds[0], &byte, 1) != 0) {
  }
  return nullptr;
}

TEST(ThreadHandleTest, RunsTheFunctionWithItsArgument) {
  std::atomic<int> value{0};
  ThreadHandle handle;
  pthread_t reported = 0;
  ASSERT_TRUE(handle.startThread(storeArgument, &value, &reported));
  EXPECT_NE(handle.getThread(), 0u);
  EXPECT_EQ(reported, handle.getThread());

  int error = -1;
  EXPECT_TRUE(handle.stopThread(&error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(value.load(), 42);
  EXPECT_EQ(handle.getThread(), 0u);
}

TEST(ThreadHandleTest, RefusesANullFunctionAndStoppingAnEmptyHandleFails) {
  ThreadHandle handle;
  EXPECT_FALSE(handle.startThread(nullptr, nullptr));
  EXPECT_EQ(handle.getThread(), 0u);
  int error = 1234;
  EXPECT_FALSE(handle.stopThread(&error));
  EXPECT_FALSE(handle.stopThread(&error, true));
  EXPECT_EQ(error, 1234);
}

TEST(ThreadHandleTest, CancellingClearsTheHandleWithoutJoining) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ThreadHandle handle;
  ASSERT_TRUE(handle.startThread(blockUntilCancelled, fds));
  int error = 1234;
  EXPECT_TRUE(handle.stopThread(&error, true));
  EXPECT_EQ(handle.getThread(), 0u);
  EXPECT_EQ(error, 1234) << "no join took place";
  // The pipe stays open: the detached thread may still be unwinding out of its read.
}

}  // namespace
}  // namespace pando
