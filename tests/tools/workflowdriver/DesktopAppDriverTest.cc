#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

constexpr int kSpawnFailed = -1;
constexpr int kNotInstalled = 1;  // the driver's status for an installation that did not end well

// Runs `arguments` (no shell of ours), its standard output into `output`; its exit status.
int runCapturing(const std::vector<std::string>& arguments, std::string& output) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return kSpawnFailed;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return kSpawnFailed;
  }
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) output.append(buffer, static_cast<size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  ::close(pipeFds[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return kSpawnFailed;
  return WEXITSTATUS(status);
}

// `command...` in a user and mount namespace of its own, with a tmpfs of `size` on `folder`.
std::vector<std::string> onSmallVolume(const std::string& folder, const std::string& size,
                                       std::vector<std::string> command) {
  std::vector<std::string> arguments = {
      "unshare",
      "-rm",
      "sh",
      "-c",
      "mount -t tmpfs -o size=" + size + ",mode=1777 tmpfs \"$1\" || exit 97; shift; exec \"$@\"",
      "sh",
      folder};
  arguments.insert(arguments.end(), command.begin(), command.end());
  return arguments;
}

std::vector<std::string> alertLines(const std::string& output) {
  std::vector<std::string> alerts;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("alert ", 0) == 0) alerts.push_back(line);
  }
  return alerts;
}

// The administrator's steps through tools/workflowdriver, a process of its own.
class DesktopAppDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(service_.port(), 0) << "the package service did not start";
    fs::create_directories(root_.path() + "/tmp");
  }

  // This run's temp folder is the machine's, as in the product: the download manager's folders
  // and the work folder share its volume.
  std::string tempFolder() const { return root_.path() + "/tmp"; }

  TemporaryFolder root_, shared_;
  ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  ScopedEnv tool_{"WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL)};
  ScopedEnv trust_{"WEND_CODESIGN_TRUST", std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem"};
  PackageService service_{std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib"};
};

// The library's package does not fit on the volume of the temp folder: the driver ends at the
// disk-full alert instead of a broken installation.
TEST_F(DesktopAppDriverTest, PackageLargerThanTheVolumeEndsAtTheDiskFullAlert) {
  TemporaryFolder probe;
  std::string ignored;
  if (runCapturing(onSmallVolume(probe.path(), "16384", {"true"}), ignored) != 0) {
    GTEST_SKIP() << "no user and mount namespace with a tmpfs of its own here (unshare -rm)";
  }
  constexpr uint64_t kVolumeBytes = 32 * 1024;
  ASSERT_GT(fs::file_size(service_.www() + "/packages/pim/Pim.zip"), kVolumeBytes);

  std::string output;
  const int status =
      runCapturing(onSmallVolume(tempFolder(), std::to_string(kVolumeBytes),
                                 {WEND_WORKFLOWDRIVER, service_.url("/services/applications"),
                                  shared_.path(), tempFolder()}),
                   output);
  EXPECT_EQ(status, kNotInstalled) << output;
  const std::vector<std::string> alerts = alertLines(output);
  ASSERT_EQ(alerts.size(), 1u) << output;
  EXPECT_NE(alerts.front().find(" P208"), std::string::npos) << alerts.front();
}

}  // namespace
