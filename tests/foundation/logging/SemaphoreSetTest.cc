#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "foundation/logging/SemaphoreSet.h"
#include "tests/support/SemaphoreSets.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

using namespace std::chrono_literals;

class SemaphoreSetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_LT(cleanup_.id(), 0) << "key already in use"; }
  // A set made the raw way, its start values not yet set by a creator.
  int unfinishedSet() { return semget(key_, 1, IPC_CREAT | IPC_EXCL | 0666); }

  wendtest::TemporaryFolder folder_;
  const key_t key_ = ftok(folder_.path().c_str(), 'S');
  wendtest::SemaphoreSetCleanup cleanup_{folder_.path(), 'S'};
  SemaphoreSetSettings quick_{200ms, 100us};
};

TEST_F(SemaphoreSetTest, CreatorSetsTheStartValuesJoinersKeepThem) {
  SemaphoreSet creator(quick_), joiner(quick_);
  ASSERT_TRUE(creator.open(key_, {3, 1}));
  ASSERT_TRUE(creator.apply({{0, -1, IPC_NOWAIT}}));
  ASSERT_TRUE(joiner.open(key_, {3, 1}));
  EXPECT_EQ(joiner.value(0), 2) << "a joiner must not set the values again";
}

TEST_F(SemaphoreSetTest, JoinerWaitsUntilTheCreatorIsReadyAndRemakesASetNeverFinished) {
  const int id = unfinishedSet();
  ASSERT_GE(id, 0);
  std::thread creator([id] {
    std::this_thread::sleep_for(50ms);
    semctl(id, 0, SETVAL, 5);
    sembuf mark[] = {{0, 1, IPC_NOWAIT}, {0, -1, IPC_NOWAIT}};
    semop(id, mark, 2);
  });
  SemaphoreSet joiner(SemaphoreSetSettings{2000ms, 100us});
  bool opened = joiner.openExisting(key_, 1);
  creator.join();
  ASSERT_TRUE(opened);
  EXPECT_EQ(joiner.value(0), 5);

  ASSERT_EQ(semctl(id, 0, IPC_RMID), 0);
  ASSERT_GE(unfinishedSet(), 0);
  SemaphoreSet late(quick_);
  ASSERT_TRUE(late.open(key_, {7}));
  EXPECT_EQ(late.value(0), 7);
}

}  // namespace
}  // namespace pando
