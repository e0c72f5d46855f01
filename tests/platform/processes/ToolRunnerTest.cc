#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "platform/processes/ToolRunner.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/ChildrenOf.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

using namespace wendtest;
using platform::ToolStatus;

namespace {

platform::ToolResult shell(const std::string& script, platform::ToolLimits limits = {}) {
  return platform::runProgram("/bin/sh", {"-c", script}, limits);
}

TEST(ToolRunner, ReportsHowTheToolEnded) {
  struct Case {
    const char* script;
    ToolStatus status;
    int exitCode;
    int signal;
    const char* output;
    const char* errorOutput;
  } cases[] = {
      {"exit 3", ToolStatus::kExited, 3, 0, "", ""},
      {"echo out; echo err >&2", ToolStatus::kExited, 0, 0, "out\n", "err\n"},
      {"echo only-err >&2; exit 2", ToolStatus::kExited, 2, 0, "", "only-err\n"},
      {"echo partial; kill -TERM $$", ToolStatus::kSignalled, -1, SIGTERM, "partial\n", ""},
      {"cat; echo end", ToolStatus::kExited, 0, 0, "end\n", ""},  // standard input is empty
  };
  for (const Case& c : cases) {
    platform::ToolResult result = shell(c.script);
    EXPECT_EQ(result.status, c.status) << c.script;
    EXPECT_EQ(result.exitCode, c.exitCode) << c.script;
    EXPECT_EQ(result.signal, c.signal) << c.script;
    EXPECT_EQ(result.output, c.output) << c.script;
    EXPECT_EQ(result.errorOutput, c.errorOutput) << c.script;
  }
  EXPECT_TRUE(childStates().empty());  // every tool reaped
}

TEST(ToolRunner, ArgumentsButNoDescriptorOfOursReachTheTool) {
  platform::ToolResult result =
      platform::runProgram("/usr/bin/printf", {"[%s]", "a b", "$HOME", "'q'", ";ls", ""});
  ASSERT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "[a b][$HOME]['q'][;ls][]") << "as they are, without a shell";
  int leaky = open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(leaky, 3);
  // No pipeline: a shell's own pipe ends would race with the listing. 3 is ls's reading of the
  // folder itself.
  result = shell("exec ls /proc/self/fd");
  close(leaky);
  ASSERT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "0\n1\n2\n3\n");
}

TEST(ToolRunner, FloodPastTheCapIsCutAndKilled) {
  platform::ToolLimits limits;
  limits.outputCap = 1 << 20;
  for (const char* script :
       {"exec yes", "exec yes >&2", "head -c 1048577 /dev/zero; exec sleep 600"}) {
    platform::ToolResult result = shell(script, limits);
    EXPECT_EQ(result.status, ToolStatus::kOutputTooLarge) << script;
    EXPECT_EQ(result.output.size() + result.errorOutput.size(), limits.outputCap) << script;
  }
  EXPECT_TRUE(childStates().empty());  // every tool reaped
}

TEST(ToolRunner, ToolsThatNeverEndAreKilledAndReaped) {
  TemporaryFolder folder;
  platform::ToolLimits limits;
  limits.timeLimit = std::chrono::milliseconds(300);
  struct Case {
    const char* name;
    std::string script;
  } cases[] = {
      {"sleeps", "echo $$ > " + folder / "pid" + "; exec sleep 600"},
      {"closes its streams first", "echo $$ > " + folder / "pid" + "; exec >&- 2>&-; sleep 600"},
      {"leaves a grandchild holding the pipe",
       "echo $$ > " + folder / "pid" + "; sleep 600 & echo started; wait"},
  };
  for (const Case& c : cases) {
    auto start = std::chrono::steady_clock::now();
    platform::ToolResult result = shell(c.script, limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.name;
    EXPECT_EQ(result.status, ToolStatus::kTimedOut) << c.name;
    pid_t group = std::atoi(readFile(folder / "pid").c_str());
    ASSERT_GT(group, 0) << c.name;
    // SIGKILL has been sent to the whole group; give the kernel a moment to carry it out.
    EXPECT_TRUE(waitUntil([&] { return !groupAlive(group); })) << c.name;
  }
  EXPECT_TRUE(childStates().empty());  // every tool reaped
}

// A tool left behind by a killed installer would hold its files, its volume or its terminal.
TEST(ToolRunner, AToolEndsWhenTheProcessThatRunsItIsKilled) {
  TemporaryFolder folder;
  const pid_t installer = fork();
  ASSERT_GE(installer, 0);
  if (installer == 0) {
    shell("echo $$ > " + folder / "pid.tmp" + " && mv " + folder / "pid.tmp " + folder / "pid" +
          " && exec sleep 600");
    _exit(0);
  }
  ASSERT_TRUE(waitUntil([&] { return !readFile(folder / "pid").empty(); }));
  const pid_t tool = std::atoi(readFile(folder / "pid").c_str());
  ASSERT_GT(tool, 0);
  ASSERT_EQ(kill(installer, SIGKILL), 0);
  EXPECT_EQ(waitChild(installer), -1);
  const bool ended = waitUntil([&] { return !groupAlive(tool); });
  EXPECT_TRUE(ended);
  if (!ended) kill(-tool, SIGKILL);
}

TEST(ToolRunner, MissingToolsAreReportedAsMissing) {
  TemporaryFolder folder;
  writeFile(folder / "not-executable", "#!/bin/sh\n");
  struct Case {
    std::string path;
    ToolStatus status;
  } cases[] = {
      {folder / "absent", ToolStatus::kMissing},
      {folder / "absent/below", ToolStatus::kMissing},
      {folder / "not-executable", ToolStatus::kNotStarted},
      {folder.path(), ToolStatus::kNotStarted},
  };
  for (const Case& c : cases) {
    platform::ToolResult result = platform::runProgram(c.path, {});
    EXPECT_EQ(result.status, c.status) << c.path;
    EXPECT_NE(result.error, 0) << c.path;
  }
}

TEST(ToolRunner, AnOverrideReplacesTheDefaultPath) {
  {
    ScopedEnv empty("WEND_TOOL_HDIUTIL", "");
    EXPECT_EQ(platform::toolPath(platform::Tool::kHdiutil), "/usr/bin/hdiutil");
  }
  ScopedEnv tool("WEND_TOOL_HDIUTIL", "/bin/echo");
  platform::ToolResult result = platform::runTool(platform::Tool::kHdiutil, {"info", "-plist"});
  ASSERT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "info -plist\n");

  ScopedEnv missing("WEND_TOOL_HDIUTIL", "/nonexistent/hdiutil");
  EXPECT_EQ(platform::runTool(platform::Tool::kHdiutil, {}).status, ToolStatus::kMissing);
}

}  // namespace
