#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/sem.h>

#include "foundation/logging/LogFileLock.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

constexpr int kProjectId = 11;

class LogFileLockTest : public ::testing::Test {
 protected:
  void SetUp() override { wendtest::writeFile(path_, ""); }
  void TearDown() override {
    int id = existingSet();
    if (id >= 0) semctl(id, 0, IPC_RMID);
  }
  int existingSet() const { return semget(ftok(path_.c_str(), kProjectId), 0, 0); }

  wendtest::TemporaryFolder folder_;
  const std::string path_ = folder_ / "Wend.log";
};

TEST_F(LogFileLockTest, LastUserToLeaveRemovesTheSetThoughAnotherDiedWithoutLeaving) {
  auto first = std::make_unique<LogFileLock>();
  auto second = std::make_unique<LogFileLock>();
  ASSERT_TRUE(first->open(path_, kProjectId));
  ASSERT_TRUE(second->open(path_, kProjectId));
  ASSERT_EQ(wendtest::waitChild(wendtest::forkChild([&] {
              LogFileLock childLock;
              if (!childLock.open(path_, kProjectId)) return 1;
              _exit(0);  // never releases
            })),
            0);
  EXPECT_TRUE(first->release());
  EXPECT_GE(existingSet(), 0) << "another user remains";
  EXPECT_TRUE(second->release());
  EXPECT_LT(existingSet(), 0);
  EXPECT_TRUE(second->release()) << "nothing left to leave";
}

TEST_F(LogFileLockTest, ALockHeldByADeadProcessIsFreedByTheKernel) {
  LogFileLock lock;
  ASSERT_TRUE(lock.open(path_, kProjectId));
  pid_t child = wendtest::forkChild([&] {
    LogFileLock childLock;
    if (!childLock.open(path_, kProjectId) || !childLock.lock()) return 1;
    _exit(0);  // dies holding the mutex, without unlocking or leaving
  });
  ASSERT_EQ(wendtest::waitChild(child), 0);
  EXPECT_TRUE(lock.lock());
  EXPECT_TRUE(lock.unlock());
}

TEST_F(LogFileLockTest, ASetRemovedUnderItsUserIsJoinedAfresh) {
  LogFileLock lock;
  ASSERT_TRUE(lock.open(path_, kProjectId));
  ASSERT_EQ(semctl(existingSet(), 0, IPC_RMID), 0);

  ASSERT_TRUE(lock.lock());
  EXPECT_EQ(semctl(existingSet(), 1, GETVAL), 0) << "the new set's mutex is taken";
  EXPECT_TRUE(lock.unlock());
}

TEST_F(LogFileLockTest, WritersOfManyProcessesTakeTurns) {
  // Each child checks that nobody else is inside while it holds the lock.
  const std::string inside = folder_ / "inside";
  std::vector<pid_t> children;
  for (int i = 0; i < 6; ++i) {
    children.push_back(wendtest::forkChild([&] {
      LogFileLock lock;
      if (!lock.open(path_, kProjectId)) return 2;
      for (int round = 0; round < 200; ++round) {
        if (!lock.lock()) return 3;
        if (symlink("x", inside.c_str()) != 0) return 4;  // fails when somebody else is inside
        unlink(inside.c_str());
        lock.unlock();
      }
      return 0;
    }));
  }
  for (int code : wendtest::waitChildren(children)) EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace pando
