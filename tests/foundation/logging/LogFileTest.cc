#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/logging/LogFile.h"
#include "foundation/logging/LogFileLock.h"
#include "foundation/logging/LogRotation.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/system/ConsoleUser.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/Environment.h"
#include "tests/support/SemaphoreSets.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

using wendtest::forkChild;
using wendtest::statOf;
using wendtest::waitChild;

TEST(LogFileTest, NewFileIsSharedReadWriteAndAnExistingOneKeepsItsModeAndContent) {
  wendtest::TemporaryFolder folder;
  LogFile file;
  const mode_t old = umask(077);
  ASSERT_TRUE(file.open(folder / "new.log"));
  umask(old);
  EXPECT_EQ(statOf(folder / "new.log").st_mode & 0777, 0666u);
  wendtest::writeFile(folder / "old.log", "old\n");
  chmod((folder / "old.log").c_str(), 0600);
  ASSERT_TRUE(file.open(folder / "old.log"));
  ASSERT_TRUE(file.append("new\n"));
  EXPECT_EQ(wendtest::readFile(folder / "old.log"), "old\nnew\n");
  EXPECT_EQ(statOf(folder / "old.log").st_mode & 0777, 0600u);
}

// A FIFO with a reader opens for writing; only the type check refuses it.
TEST(LogFileTest, RefusesALinkOrAFifoAtThePathWithoutBlocking) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "elsewhere", "keep");
  ASSERT_EQ(symlink((folder / "elsewhere").c_str(), (folder / "link.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder / "fifo.log").c_str(), 0666), 0);
  platform::UniqueFd reader(open((folder / "fifo.log").c_str(), O_RDONLY | O_NONBLOCK));
  for (const char* name : {"link.log", "fifo.log", "missing/x.log"}) {
    LogFile file;
    EXPECT_FALSE(file.open(folder / name)) << name;
    EXPECT_FALSE(file.isOpen());
  }
  EXPECT_EQ(wendtest::readFile(folder / "elsewhere"), "keep");
}

// Name, size threshold and lines are checked through the sink (LogTargetDefaultTest).
TEST(LogRotationTest, CopiesThenEmptiesTheLogInPlaceButNeverOverAnExistingName) {
  wendtest::TemporaryFolder folder;
  const std::string path = folder / "Wend.log", content(3 * 4096 + 17, 'a');
  wendtest::writeFile(path, content);
  wendtest::writeFile(folder / "victim", "precious");
  ASSERT_EQ(symlink((folder / "victim").c_str(), (folder / "Wend old.log").c_str()), 0);
  EXPECT_FALSE(LogRotation::copyAndTruncate(path, folder / "Wend old.log"));
  EXPECT_EQ(wendtest::readFile(folder / "victim"), "precious");
  EXPECT_EQ(wendtest::readFile(path), content);

  const ino_t inode = statOf(path).st_ino;
  ASSERT_TRUE(LogRotation::copyAndTruncate(path, folder / "Wend copy.log"));
  EXPECT_EQ(wendtest::readFile(folder / "Wend copy.log"), content);
  EXPECT_EQ(statOf(path).st_size, 0);
  EXPECT_EQ(statOf(path).st_ino, inode);
}

// The log folder is the console user's: they may swap it for a link to any folder. An elevated
// copy then opens, rotates and replaces nothing there; the user's own process follows the link.
TEST(LogFileTest, AnElevatedCopyWritesNothingThroughTheUsersLinks) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  wendtest::TemporaryFolder root;
  wendtest::ScopedEnv wendRoot("WEND_ROOT", root.path());
  wendtest::ScopedEnv console("WEND_CONSOLE_UID", std::to_string(wendtest::otherUser()));
  wendtest::ScopedEnv state("XDG_STATE_HOME", std::nullopt);
  std::string skyloom;
  ASSERT_TRUE(platform::makeConsoleUserLogFolder("Skyloom", skyloom));
  const std::string elsewhere = root / "elsewhere", tarn = skyloom + "/Tarn";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  wendtest::writeFile(elsewhere + "/old.log", "kept");
  ASSERT_EQ(symlink(elsewhere.c_str(), tarn.c_str()), 0);

  LogFile file;
  EXPECT_FALSE(file.open(tarn + "/Install.log"));
  EXPECT_FALSE(LogRotation::copyAndTruncate(tarn + "/old.log", tarn + "/old copy.log"));
  EXPECT_FALSE(platform::replaceFileAtomically(tarn + "/hardwareConfig.json", "{}",
                                               platform::AtomicFileMode::kCreationDefault));
  EXPECT_EQ(wendtest::readFile(elsewhere + "/old.log"), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(elsewhere), {}), 1);

  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chown(elsewhere.c_str(), wendtest::otherUser(), wendtest::otherUser()), 0);
  EXPECT_TRUE(wendtest::asOtherUser([&] { return LogFile().open(tarn + "/Install.log"); }));
  EXPECT_TRUE(wendtest::existsNoFollow(elsewhere + "/Install.log"));
}

class LogFileLockTest : public ::testing::Test {
 protected:
  void SetUp() override { wendtest::writeFile(path_, ""); }
  static constexpr int kProjectId = 11;
  wendtest::TemporaryFolder folder_;
  const std::string path_ = folder_ / "Wend.log";
  wendtest::SemaphoreSetCleanup set_{path_, kProjectId};
};

// The kernel frees what a dead process held; the last user left removes the set.
TEST_F(LogFileLockTest, AProcessThatDiesHoldingTheLockWithoutLeavingBlocksNobody) {
  LogFileLock first, second;
  ASSERT_TRUE(first.open(path_, kProjectId));
  ASSERT_TRUE(second.open(path_, kProjectId));
  ASSERT_EQ(waitChild(forkChild([&] {
              LogFileLock childLock;
              if (!childLock.open(path_, kProjectId) || !childLock.lock()) return 1;
              _exit(0);
            })),
            0);
  EXPECT_TRUE(first.lock());
  EXPECT_TRUE(first.unlock());
  EXPECT_TRUE(first.release());
  EXPECT_GE(set_.id(), 0) << "another user remains";
  EXPECT_TRUE(second.release());
  EXPECT_LT(set_.id(), 0);
  EXPECT_TRUE(second.release()) << "nothing left to leave";
}

TEST_F(LogFileLockTest, ASetRemovedUnderItsUserIsJoinedAfresh) {
  LogFileLock lock;
  ASSERT_TRUE(lock.open(path_, kProjectId));
  ASSERT_EQ(semctl(set_.id(), 0, IPC_RMID), 0);
  ASSERT_TRUE(lock.lock());
  EXPECT_EQ(set_.value(1), 0) << "the new set's mutex is taken";
  EXPECT_TRUE(lock.unlock());
}

TEST_F(LogFileLockTest, WritersOfManyProcessesTakeTurns) {
  // Each child checks that nobody else is inside while it holds the lock.
  const std::string inside = folder_ / "inside";
  std::vector<pid_t> children;
  for (int i = 0; i < 6; ++i) {
    children.push_back(forkChild([&] {
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
