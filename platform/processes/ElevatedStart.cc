#include "platform/processes/ElevatedStart.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/processes/ChildProcess.h"
#include "platform/processes/ToolRunner.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// The status with which the elevation tool reports that the user dismissed its dialog.
constexpr int kCancelledStatus = 126;
// How often the tool is looked at while the user answers.
constexpr int kLookIntervalMs = 20;
// The kernel keeps this many bytes of a process's name.
constexpr size_t kProcessNameLength = 15;

bool executableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string processNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return path.substr(slash == std::string::npos ? 0 : slash + 1, kProcessNameLength);
}

// The name the kernel gives `pid` now; "" once it cannot be read.
std::string currentName(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

ElevationResult ended(int status) {
  ElevationResult result;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.status = ElevationStatus::kStarted;
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == kCancelledStatus) {
    result.status = ElevationStatus::kCancelled;
  } else {
    result.status = ElevationStatus::kRefused;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return result;
}

}  // namespace

ElevationResult startElevated(const std::string& program, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds answerLimit) {
  ElevationResult result;
  // Checked here, as the tool would start nothing for a bad program and still report success.
  if (!executableFile(program)) {
    result.status = ElevationStatus::kNoProgram;
    return result;
  }
  const std::string tool = toolPath(Tool::kElevation);
  std::vector<std::string> toolArguments = {program};
  toolArguments.insert(toolArguments.end(), arguments.begin(), arguments.end());
  ChildProcess child;
  result.error = child.spawn(tool, toolArguments, {ChildProcess::Output::kDiscard, true});
  if (result.error != 0) return result;

  const std::string toolName = processNameOf(tool);
  const Clock::time_point deadline = Clock::now() + answerLimit;
  for (;;) {
    int status = 0;
    if (child.tryWait(status)) return ended(status);
    const std::string name = currentName(child.pid());
    if (!name.empty() && name != toolName) {
      // The program runs on as our child; dropping the object hands it to the background reaper.
      result.status = ElevationStatus::kStarted;
      return result;
    }
    if (Clock::now() >= deadline) break;
    pollfd entry = {child.exitFd(), POLLIN, 0};
    ::poll(&entry, 1, kLookIntervalMs);
  }
  child.kill();
  int status = 0;
  child.wait(status);
  result.status = ElevationStatus::kTimedOut;
  return result;
}

}  // namespace platform
