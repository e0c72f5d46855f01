#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "foundation/threads/SharedSemaphore.h"
#include "platform/SpecialFolders.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

constexpr int kProjectId = 0x4394AC9D;
constexpr int kOwnFile = 2;  // folder choice: the name is the key file's path

class SharedSemaphoreTest : public ::testing::Test {
 protected:
  void TearDown() override {
    int id = existingSet();
    if (id >= 0) semctl(id, 0, IPC_RMID);
  }
  int existingSet() const { return semget(ftok(keyFile_.c_str(), kProjectId), 0, 0); }
  std::unique_ptr<SharedSemaphore> make(int count, int indexFlag = 0) const {
    return std::make_unique<SharedSemaphore>(kProjectId, count, kOwnFile, keyFile_.c_str(),
                                             indexFlag);
  }
  bool heldAsSeenByAnotherProcess(int count) const {
    return wendtest::waitChild(wendtest::forkChild([&] {
             return SharedSemaphore::isSharedSemaphoreHeld(kProjectId, count, kOwnFile,
                                                           keyFile_.c_str(), 0)
                        ? 1
                        : 0;
           })) == 1;
  }

  wendtest::TemporaryFolder folder_;
  const std::string keyFile_ = folder_ / "lbs.key";
};

TEST_F(SharedSemaphoreTest, AllowsAsManyHoldersAsItsCount) {
  std::vector<std::unique_ptr<SharedSemaphore>> holders;
  for (int i = 0; i < 255; ++i) {
    holders.push_back(make(255));
    ASSERT_TRUE(holders.back()->tryAcquire()) << "holder " << i;
    ASSERT_TRUE(holders.front()->isInUse());
  }
  auto oneTooMany = make(255);
  EXPECT_FALSE(oneTooMany->tryAcquire());
  EXPECT_TRUE(holders[7]->release());
  EXPECT_TRUE(oneTooMany->tryAcquire());
}

TEST_F(SharedSemaphoreTest, AHolderAskingAgainTakesNoSecondUnitAndTheIndexFlagSwapsTheSet) {
  EXPECT_TRUE(make(1)->release()) << "releasing what is not held succeeds";
  auto lock = make(4, 1);
  ASSERT_TRUE(lock->tryAcquire());
  ASSERT_TRUE(lock->tryAcquire());
  EXPECT_EQ(semctl(existingSet(), 1, GETVAL), 3);
  EXPECT_EQ(semctl(existingSet(), 0, GETVAL), 1) << "one object has it open";
}

TEST_F(SharedSemaphoreTest, TheLastObjectToCloseRemovesTheSet) {
  auto first = make(3);
  auto second = make(3);
  ASSERT_TRUE(first->tryAcquire());
  first.reset();
  EXPECT_GE(existingSet(), 0) << "another object still has it open";
  EXPECT_FALSE(second->isInUse()) << "the destroyed holder gave its unit back";
  second.reset();
  EXPECT_LT(existingSet(), 0);

  auto fresh = make(3);
  ASSERT_GE(existingSet(), 0);
  EXPECT_EQ(semctl(existingSet(), 0, GETVAL), 3);
}

TEST_F(SharedSemaphoreTest, OtherProcessesSeeAHeldLock) {
  EXPECT_FALSE(heldAsSeenByAnotherProcess(1));
  auto lock = make(1);
  ASSERT_TRUE(lock->tryAcquire());
  EXPECT_TRUE(heldAsSeenByAnotherProcess(1));
  EXPECT_GE(existingSet(), 0) << "the probe's leaving keeps our set";
}

TEST_F(SharedSemaphoreTest, AnUnusableLockCountsAsTakenAndAMissingKeyFileIsMade) {
  const std::string nowhere = folder_ / "missing/lbs.key";
  SharedSemaphore lock(kProjectId, 1, kOwnFile, nowhere.c_str(), 0);
  EXPECT_FALSE(lock.tryAcquire());
  EXPECT_TRUE(lock.isInUse());
  EXPECT_TRUE(SharedSemaphore::isSharedSemaphoreHeld(kProjectId, 1, kOwnFile, nowhere.c_str(), 0));
  auto made = make(1);
  EXPECT_TRUE(wendtest::existsNoFollow(keyFile_));
}

TEST_F(SharedSemaphoreTest, KeyPathsByFolderChoice) {
  // Keys on "/tmp" itself: a project id of this test run only, and every set removed again.
  const int testOnlyId = 0x7E570000 | (getpid() & 0xff);
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, nullptr, 0).keyPath(), "/tmp");
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, "", 0).keyPath(), "/tmp");
  const std::string name = "wend-test-" + std::to_string(getpid()) + ".key";
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, name.c_str(), 0).keyPath(), "/tmp/" + name);
  unlink(("/tmp/" + name).c_str());
  EXPECT_EQ(SharedSemaphore(kProjectId, 1, 5, keyFile_.c_str(), 0).keyPath(), keyFile_);

  setenv("WEND_ROOT", folder_.path().c_str(), 1);
  std::string home;
  ASSERT_TRUE(platform::specialFolderPath(9, home));
  EXPECT_EQ(home.rfind(folder_.path(), 0), 0u);
  EXPECT_EQ(SharedSemaphore(kProjectId, 1, 1, "lbs.key", 0).keyPath(), home + "/lbs.key");
  unsetenv("WEND_ROOT");
}

TEST_F(SharedSemaphoreTest, AUnitHeldByAProcessThatDiesIsGivenBack) {
  pid_t holder = wendtest::forkChild([&] {
    SharedSemaphore lock(kProjectId, 1, kOwnFile, keyFile_.c_str(), 0);
    if (!lock.tryAcquire()) return 1;
    _exit(0);
  });
  auto lock = make(1);  // keeps the set alive across the child's death
  ASSERT_EQ(wendtest::waitChild(holder), 0);
  EXPECT_FALSE(lock->isInUse());
  EXPECT_TRUE(lock->tryAcquire());
}

TEST_F(SharedSemaphoreTest, TwentyProcessesRacingForAFreshLockLeaveOneHolder) {
  EXPECT_EQ(wendtest::countWinners(20,
                                   [this] {
                                     // Left to the child's exit, so a winner keeps holding.
                                     auto* lock = make(1).release();
                                     return lock->tryAcquire();
                                   }),
            1);
}

}  // namespace
}  // namespace pando
