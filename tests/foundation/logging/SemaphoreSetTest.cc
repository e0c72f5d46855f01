#include <gtest/gtest.h>
#include <sys/ipc.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "foundation/logging/SemaphoreSet.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

using namespace std::chrono_literals;

union SemaphoreArgument {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

class SemaphoreSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wendtest::writeFile(folder_ / "key", "");
    key_ = ftok((folder_ / "key").c_str(), 'S');
    ASSERT_NE(key_, -1);
    ASSERT_EQ(semget(key_, 0, 0), -1) << "key already in use";
  }
  void TearDown() override {
    int id = semget(key_, 0, 0);
    if (id >= 0) semctl(id, 0, IPC_RMID);
  }

  wendtest::TemporaryFolder folder_;
  key_t key_ = -1;
  SemaphoreSetSettings quick_{200ms, 100us};
};

TEST_F(SemaphoreSetTest, CreatorSetsTheStartValuesJoinersKeepThem) {
  SemaphoreSet creator(quick_);
  ASSERT_TRUE(creator.open(key_, {3, 1}));
  ASSERT_TRUE(creator.apply({{0, -1, IPC_NOWAIT}}));

  SemaphoreSet joiner(quick_);
  ASSERT_TRUE(joiner.open(key_, {3, 1}));
  EXPECT_EQ(joiner.value(0), 2) << "a joiner must not set the values again";
  EXPECT_EQ(joiner.value(1), 1);
}

TEST_F(SemaphoreSetTest, JoinerWaitsUntilTheCreatorIsReady) {
  int id = semget(key_, 1, IPC_CREAT | IPC_EXCL | 0666);
  ASSERT_GE(id, 0);
  std::thread creator([id] {
    std::this_thread::sleep_for(50ms);
    SemaphoreArgument value{};
    value.val = 5;
    semctl(id, 0, SETVAL, value);
    sembuf mark[] = {{0, 1, IPC_NOWAIT}, {0, -1, IPC_NOWAIT}};
    semop(id, mark, 2);
  });
  SemaphoreSet joiner(SemaphoreSetSettings{2000ms, 100us});
  bool opened = joiner.openExisting(key_, 1);
  creator.join();
  ASSERT_TRUE(opened);
  EXPECT_EQ(joiner.value(0), 5);
}

TEST_F(SemaphoreSetTest, ASetItsCreatorNeverFinishedIsMadeAgain) {
  ASSERT_GE(semget(key_, 1, IPC_CREAT | IPC_EXCL | 0666), 0);
  SemaphoreSet joiner(quick_);
  ASSERT_TRUE(joiner.open(key_, {7}));
  EXPECT_EQ(joiner.value(0), 7);
}

}  // namespace
}  // namespace pando
