#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ChildProcess.h"
#include "platform/ProcessTable.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

const platform::ProcessEntry* find(const std::vector<platform::ProcessEntry>& list, pid_t pid) {
  for (const auto& entry : list) {
    if (entry.pid == pid) return &entry;
  }
  return nullptr;
}

TEST(ProcessTable, ListsRunningProcessesWithNameAndExecutable) {
  TemporaryFolder folder;
  std::string longName = folder / "wend-sleeper-with-a-long-name";
  std::filesystem::copy_file("/bin/sleep", longName);
  platform::ChildProcess child;
  ASSERT_EQ(child.spawn(longName, {"600"}, {}), 0);
  const pid_t pid = child.pid();

  std::vector<platform::ProcessEntry> list = {{1, "stale", "stale"}};
  ASSERT_TRUE(platform::listProcesses(list));
  const platform::ProcessEntry* self = find(list, getpid());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->executable, std::filesystem::read_symlink("/proc/self/exe").string());
  const platform::ProcessEntry* sleeper = find(list, pid);
  ASSERT_NE(sleeper, nullptr);
  EXPECT_EQ(sleeper->shortName, std::string("wend-sleeper-with-a-long-name", 15));
  EXPECT_EQ(sleeper->executable, longName);
  EXPECT_TRUE(platform::processExists(pid));

  child.kill();
  int status = 0;
  ASSERT_TRUE(child.wait(status));
  ASSERT_TRUE(platform::listProcesses(list));
  EXPECT_EQ(find(list, pid), nullptr);
  EXPECT_FALSE(platform::processExists(pid));
  EXPECT_FALSE(platform::processExists(0));
  EXPECT_FALSE(platform::processExists(-1));
}

}  // namespace
