#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>

#include "foundation/threads/ProcessSemaphore.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

// Keys live on a private folder, so parallel runs never meet the product's locks or each other.
constexpr int kProjectId = 0x0232AEA8;

class ProcessSemaphoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_LT(existingSet(), 0) << "key already in use"; }
  void TearDown() override {
    int id = existingSet();
    if (id >= 0) semctl(id, 0, IPC_RMID);
  }
  int existingSet() const { return semget(ftok(keyPath().c_str(), kProjectId), 0, 0); }
  const std::string& keyPath() const { return folder_.path(); }

  // In a child: tries to acquire and reports the result as its exit code (1 = acquired).
  int acquireInChild() const {
    return wendtest::waitChild(wendtest::forkChild([this] {
      ProcessSemaphore other(kProjectId, keyPath());
      return other.acquire() ? 1 : 0;
    }));
  }

  wendtest::TemporaryFolder folder_;
};

TEST_F(ProcessSemaphoreTest, NobodyHoldsALockThatWasNeverTakenOrWasDestroyedHeld) {
  EXPECT_FALSE(ProcessSemaphore::isProcessSemaphoreHeld(kProjectId, keyPath()));
  EXPECT_LT(existingSet(), 0) << "asking creates nothing";
  {
    ProcessSemaphore lock(kProjectId, keyPath());
    EXPECT_TRUE(lock.release()) << "releasing what is not held succeeds";
    ASSERT_TRUE(lock.acquire());
  }
  EXPECT_FALSE(ProcessSemaphore::isProcessSemaphoreHeld(kProjectId, keyPath()));
}

TEST_F(ProcessSemaphoreTest, AnotherProcessCannotTakeAHeldLock) {
  ProcessSemaphore lock(kProjectId, keyPath());
  ASSERT_TRUE(lock.acquire());
  EXPECT_TRUE(lock.acquire()) << "the holder asks again";
  EXPECT_TRUE(ProcessSemaphore::isProcessSemaphoreHeld(kProjectId, keyPath()));
  EXPECT_EQ(acquireInChild(), 0);

  EXPECT_TRUE(lock.release());
  EXPECT_FALSE(lock.isLocked());
  EXPECT_EQ(acquireInChild(), 1);
  EXPECT_GE(existingSet(), 0) << "the set outlives its users";
}

TEST_F(ProcessSemaphoreTest, ALockHeldByAProcessThatDiesIsFreeAgain) {
  ASSERT_EQ(wendtest::waitChild(wendtest::forkChild([this] {
              ProcessSemaphore lock(kProjectId, keyPath());
              if (!lock.acquire()) return 1;
              _exit(0);  // no release, no destructor
            })),
            0);
  EXPECT_EQ(acquireInChild(), 1);
}

TEST_F(ProcessSemaphoreTest, TwentyProcessesRacingForAFreshLockLeaveOneHolder) {
  EXPECT_EQ(wendtest::countWinners(20,
                                   [this] {
                                     // Left to the child's exit, so a winner keeps holding.
                                     auto* lock = new ProcessSemaphore(kProjectId, keyPath());
                                     return lock->acquire();
                                   }),
            1);
}

TEST_F(ProcessSemaphoreTest, ASetRemovedUnderTheHoldEndsIt) {
  ProcessSemaphore lock(kProjectId, keyPath());
  ASSERT_TRUE(lock.acquire());
  ASSERT_EQ(semctl(existingSet(), 0, IPC_RMID), 0);

  EXPECT_FALSE(lock.release());
  EXPECT_FALSE(lock.isHeld());
  EXPECT_TRUE(lock.acquire()) << "a fresh set is made";
  EXPECT_TRUE(lock.isLocked());
}

}  // namespace
}  // namespace pando
