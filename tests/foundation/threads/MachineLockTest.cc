#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/SharedSemaphore.h"
#include "platform/system/SpecialFolders.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/Environment.h"
#include "tests/support/SemaphoreSets.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

using wendtest::forkChild;
using wendtest::waitChild;

// Project ids of these tests; keys live in a private folder, so parallel runs never meet the
// product's locks or each other.
constexpr int kProcessId = 0x0232AEA8;
constexpr int kSharedId = 0x4394AC9D;
constexpr int kOwnFile = 2;  // folder choice: the name is the key file's path

// The two machine-wide locks, seen through what they share.
struct ProcessLock {
  explicit ProcessLock(const std::string& key) : lock(kProcessId, key) {}
  bool take() { return lock.acquire(); }
  bool giveBack() { return lock.release(); }
  static bool heldByAnyone(const std::string& key) {
    return ProcessSemaphore::isProcessSemaphoreHeld(kProcessId, key);
  }
  ProcessSemaphore lock;
};

struct SharedLock {
  explicit SharedLock(const std::string& key) : lock(kSharedId, 1, kOwnFile, key.c_str(), 0) {}
  bool take() { return lock.tryAcquire(); }
  bool giveBack() { return lock.release(); }
  static bool heldByAnyone(const std::string& key) {
    return SharedSemaphore::isSharedSemaphoreHeld(kSharedId, 1, kOwnFile, key.c_str(), 0);
  }
  SharedSemaphore lock;
};

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override { wendtest::writeFile(key_, ""); }
  std::unique_ptr<SharedSemaphore> makeShared(int count, int indexFlag = 0) const {
    return std::make_unique<SharedSemaphore>(kSharedId, count, kOwnFile, key_.c_str(), indexFlag);
  }

  wendtest::TemporaryFolder folder_;
  const std::string key_ = folder_ / "lock.key";
  wendtest::SemaphoreSetCleanup processSet_{key_, kProcessId}, sharedSet_{key_, kSharedId};
};

template <typename Lock>
class MachineLockTest : public LockTest {
 protected:
  std::unique_ptr<Lock> make() const { return std::make_unique<Lock>(key_); }
  bool heldSeenByAnotherProcess() const {
    return waitChild(forkChild([&] { return Lock::heldByAnyone(key_) ? 1 : 0; })) == 1;
  }
  bool takenByAnotherProcess() const {
    return waitChild(forkChild([&] { return make()->take() ? 1 : 0; })) == 1;
  }
};
using LockKinds = ::testing::Types<ProcessLock, SharedLock>;
TYPED_TEST_SUITE(MachineLockTest, LockKinds);

TYPED_TEST(MachineLockTest, AHeldLockIsSeenAndRefusedByOtherProcessesUntilGivenBackOrDestroyed) {
  auto lock = this->make(), keeper = this->make();  // the keeper holds a shared set open
  EXPECT_TRUE(lock->giveBack()) << "releasing what is not held succeeds";
  ASSERT_TRUE(lock->take());
  EXPECT_TRUE(lock->take()) << "the holder asks again";
  EXPECT_TRUE(this->heldSeenByAnotherProcess());
  EXPECT_FALSE(this->takenByAnotherProcess());
  EXPECT_TRUE(lock->giveBack());
  EXPECT_FALSE(this->heldSeenByAnotherProcess());
  ASSERT_TRUE(lock->take());
  lock.reset();
  EXPECT_TRUE(this->takenByAnotherProcess()) << "a destroyed holder gives the lock back";
}

TYPED_TEST(MachineLockTest, ALockHeldByAProcessThatDiesIsFreeAgain) {
  auto keeper = this->make();
  // No release and no destructor: the lock is left to the child's exit.
  ASSERT_EQ(waitChild(forkChild([&] { return this->make().release()->take() ? 0 : 1; })), 0);
  EXPECT_FALSE(this->heldSeenByAnotherProcess());
  EXPECT_TRUE(keeper->take());
}

TYPED_TEST(MachineLockTest, TwentyProcessesRacingForAFreshLockLeaveOneHolder) {
  EXPECT_EQ(wendtest::countWinners(20, [this] { return this->make().release()->take(); }), 1);
}

TEST_F(LockTest, AskingForAProcessSemaphoreCreatesNoSetAndOneRemovedUnderTheHoldEndsIt) {
  EXPECT_FALSE(ProcessSemaphore::isProcessSemaphoreHeld(kProcessId, key_));
  EXPECT_LT(processSet_.id(), 0) << "asking creates nothing";
  {
    ProcessSemaphore lock(kProcessId, key_);
    ASSERT_TRUE(lock.acquire());
    ASSERT_EQ(semctl(processSet_.id(), 0, IPC_RMID), 0);
    EXPECT_FALSE(lock.release());
    EXPECT_FALSE(lock.isHeld());
    EXPECT_TRUE(lock.acquire()) << "a fresh set is made";
  }
  EXPECT_GE(processSet_.id(), 0) << "the set outlives its users";
}

// With the index flag, the holders' count is semaphore 0 and the units are semaphore 1.
TEST_F(LockTest, ASharedSetCountsItsHoldersAndUnitsAndGoesWithTheLastOpener) {
  std::vector<std::unique_ptr<SharedSemaphore>> holders;
  for (int i = 0; i < 255; ++i) {
    holders.push_back(makeShared(255, 1));
    ASSERT_TRUE(holders.back()->tryAcquire()) << "holder " << i;
  }
  EXPECT_TRUE(holders[0]->tryAcquire()) << "asking again takes no second unit";
  auto oneTooMany = makeShared(255, 1);
  EXPECT_FALSE(oneTooMany->tryAcquire());
  EXPECT_EQ(sharedSet_.value(0), 256);
  holders[7].reset();
  EXPECT_TRUE(oneTooMany->tryAcquire()) << "the destroyed holder gave its unit back";
  holders.clear();
  EXPECT_GE(sharedSet_.id(), 0) << "an object still has it open";
  oneTooMany.reset();
  EXPECT_LT(sharedSet_.id(), 0);
}

TEST_F(LockTest, SharedKeyFilesByFolderChoiceAreMadeWhenMissingOrElseTheLockCountsAsTaken) {
  const std::string nowhere = folder_ / "missing/lbs.key";
  SharedSemaphore lock(kSharedId, 1, kOwnFile, nowhere.c_str(), 0);
  EXPECT_FALSE(lock.tryAcquire());
  EXPECT_TRUE(lock.isInUse());
  EXPECT_TRUE(SharedSemaphore::isSharedSemaphoreHeld(kSharedId, 1, kOwnFile, nowhere.c_str(), 0));
  unlink(key_.c_str());
  auto made = makeShared(1);
  EXPECT_TRUE(wendtest::existsNoFollow(key_));

  // Keys on "/tmp" itself: a project id of this test run only, and every set removed again.
  const int testOnlyId = 0x7E570000 | (getpid() & 0xff);
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, nullptr, 0).keyPath(), "/tmp");
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, "", 0).keyPath(), "/tmp");
  const std::string name = "wend-test-" + std::to_string(getpid()) + ".key";
  EXPECT_EQ(SharedSemaphore(testOnlyId, 1, 0, name.c_str(), 0).keyPath(), "/tmp/" + name);
  unlink(("/tmp/" + name).c_str());
  EXPECT_EQ(SharedSemaphore(kSharedId, 1, 5, key_.c_str(), 0).keyPath(), key_);

  wendtest::ScopedEnv root("WEND_ROOT", folder_.path());
  std::string home;
  ASSERT_TRUE(platform::specialFolderPath(9, home));
  EXPECT_EQ(home.rfind(folder_.path(), 0), 0u);
  EXPECT_EQ(SharedSemaphore(kSharedId, 1, 1, "lbs.key", 0).keyPath(), home + "/lbs.key");
}

}  // namespace
}  // namespace pando
