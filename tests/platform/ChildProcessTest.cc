#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/ChildProcess.h"
#include "tests/platform/support/ChildrenOf.h"

using namespace wendtest;
using platform::ChildProcess;

namespace {

TEST(ChildProcess, WaitGivesTheExitStatus) {
  ChildProcess child;
  ASSERT_EQ(child.spawn("/bin/sh", {"-c", "exit 3"}, {}), 0);
  EXPECT_GT(child.pid(), 0);
  int status = 0;
  ASSERT_TRUE(child.wait(status));
  EXPECT_EQ(platform::exitCodeOf(status), 3);
  EXPECT_FALSE(child.running());
  EXPECT_FALSE(child.wait(status));
}

TEST(ChildProcess, ASecondSpawnOnTheSameObjectIsRefused) {
  ChildProcess child;
  ASSERT_EQ(child.spawn("/bin/sleep", {"600"}, {}), 0);
  EXPECT_EQ(child.spawn("/bin/true", {}, {}), EBUSY);
  child.kill();
  int status = 0;
  ASSERT_TRUE(child.wait(status));
  EXPECT_EQ(platform::exitCodeOf(status), -1);
}

TEST(ChildProcess, MissingProgramGivesItsErrno) {
  ChildProcess child;
  EXPECT_EQ(child.spawn("/nonexistent/program", {}, {}), ENOENT);
  EXPECT_FALSE(child.running());
}

TEST(ChildProcess, TryWaitReapsOnlyAnEndedChild) {
  ChildProcess child;
  ASSERT_EQ(child.spawn("/bin/sleep", {"600"}, {}), 0);
  int status = 7;
  EXPECT_FALSE(child.tryWait(status));
  EXPECT_EQ(status, 7);
  child.kill();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!child.tryWait(status) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(child.running());
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(ChildProcess, ChildrenNobodyWaitsForAreReaped) {
  for (int i = 0; i < 5; ++i) {
    ChildProcess child;
    ASSERT_EQ(child.spawn("/bin/true", {}, {}), 0);
  }
  ChildProcess moved;
  ASSERT_EQ(moved.spawn("/bin/true", {}, {}), 0);
  ChildProcess target;
  ASSERT_EQ(target.spawn("/bin/true", {}, {}), 0);
  target = std::move(moved);  // the child target held is handed to the reaper
  int status = 0;
  EXPECT_TRUE(target.wait(status));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!childStates().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(childStates().empty());
}

TEST(ChildProcess, PipesCarryEachStreamApart) {
  ChildProcess child;
  ASSERT_EQ(child.spawn("/bin/sh", {"-c", "printf out; printf err >&2"},
                        {ChildProcess::Output::kPipes, false}),
            0);
  char buffer[16] = {};
  EXPECT_EQ(read(child.output().get(), buffer, sizeof buffer), 3);
  EXPECT_STREQ(buffer, "out");
  char errors[16] = {};
  EXPECT_EQ(read(child.error().get(), errors, sizeof errors), 3);
  EXPECT_STREQ(errors, "err");
  int status = 0;
  EXPECT_TRUE(child.wait(status));
}

}  // namespace
