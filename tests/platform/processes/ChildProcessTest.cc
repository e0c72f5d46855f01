#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/processes/ChildProcess.h"
#include "tests/support/ChildrenOf.h"
#include "tests/support/WaitUntil.h"

using namespace wendtest;
using platform::ChildProcess;

namespace {

TEST(ChildProcess, ASecondSpawnOnTheSameObjectIsRefused) {
  ChildProcess child;
  ASSERT_EQ(child.spawn("/bin/sleep", {"600"}, {}), 0);
  EXPECT_EQ(child.spawn("/bin/true", {}, {}), EBUSY);
  child.kill();
  int status = 0;
  ASSERT_TRUE(child.wait(status));
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
  EXPECT_TRUE(waitUntil([] { return childStates().empty(); }));
}

}  // namespace
