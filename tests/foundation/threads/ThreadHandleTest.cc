#include <gtest/gtest.h>
#include <semaphore.h>

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

// A thread that holds off cancellation until the test lets it go, so that it is still alive when
// the test looks at it, and says when it has ended.
struct Holdout {
  sem_t release;
  sem_t ended;
  Holdout() {
    sem_init(&release, 0, 0);
    sem_init(&ended, 0, 0);
  }
  ~Holdout() {
    sem_destroy(&release);
    sem_destroy(&ended);
  }
};

void* holdOffCancellation(void* argument) {
  auto* holdout = static_cast<Holdout*>(argument);
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  pthread_cleanup_push([](void* raw) { sem_post(&static_cast<Holdout*>(raw)->ended); }, holdout);
  while (sem_wait(&holdout->release) != 0) {
  }
  pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
  pthread_testcancel();
  pthread_cleanup_pop(1);
  return nullptr;
}

// A cancelled thread is never joined, so unless it is detached its resources are never freed.
TEST(ThreadHandleTest, CancellingDetachesTheThreadAndClearsTheHandleWithoutJoining) {
  Holdout holdout;
  ThreadHandle handle;
  pthread_t thread = 0;
  ASSERT_TRUE(handle.startThread(holdOffCancellation, &holdout, &thread));
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
  sem_post(&holdout.release);
  while (sem_wait(&holdout.ended) != 0) {
  }
}

}  // namespace
}  // namespace pando
