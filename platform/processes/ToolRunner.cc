#include "platform/processes/ToolRunner.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/processes/ChildProcess.h"
#include "platform/system/DeveloperOverrides.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

struct ToolEntry {
  const char* name;
  const char* defaultPath;
};

const ToolEntry& entryOf(Tool tool) {
  static const ToolEntry kTable[] = {
      {"HDIUTIL", "/usr/bin/hdiutil"},     {"CODESIGN", "/usr/bin/codesign"},
      {"URL_OPENER", "/usr/bin/xdg-open"}, {"SYSTEM_PROFILER", "/usr/sbin/system_profiler"},
      {"ELEVATION", "/usr/bin/pkexec"},    {"LAUNCHCTL", "/bin/launchctl"},
      {"SUDO", "/usr/bin/sudo"},
  };
  return kTable[static_cast<int>(tool)];
}

// Reads what is there into `text`; closes the stream at its end. False when the cap is passed.
bool drain(UniqueFd& stream, std::string& text, size_t cap) {
  char buffer[65536];
  ssize_t got = ::read(stream.get(), buffer, sizeof buffer);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN) return true;
    stream.reset();
    return true;
  }
  if (got == 0) {
    stream.reset();
    return true;
  }
  size_t room = cap - text.size();
  text.append(buffer, std::min(room, static_cast<size_t>(got)));
  return static_cast<size_t>(got) <= room;
}

int millisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1000 * 60));
}

// Reads both streams until they close, a cap is passed or the deadline comes.
ToolStatus collect(ChildProcess& child, ToolResult& result, const ToolLimits& limits,
                   Clock::time_point deadline) {
  while (child.output().valid() || child.error().valid()) {
    pollfd fds[2] = {{child.output().get(), POLLIN, 0}, {child.error().get(), POLLIN, 0}};
    int ready = ::poll(fds, 2, millisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    // A tool we can no longer watch is treated as one that outlived its limit.
    if (ready < 0) return ToolStatus::kTimedOut;
    if (ready == 0 && Clock::now() >= deadline) return ToolStatus::kTimedOut;
    if (fds[0].revents && !drain(child.output(), result.output, limits.outputCap))
      return ToolStatus::kOutputTooLarge;
    if (fds[1].revents && !drain(child.error(), result.errorOutput, limits.outputCap))
      return ToolStatus::kOutputTooLarge;
  }
  return ToolStatus::kExited;
}

// Waits for the end of a child whose streams are closed, until the deadline.
bool awaitExit(ChildProcess& child, int& status, Clock::time_point deadline) {
  while (!child.tryWait(status)) {
    if (Clock::now() >= deadline) return false;
    if (child.exitFd() >= 0) {
      pollfd exitFd = {child.exitFd(), POLLIN, 0};
      ::poll(&exitFd, 1, millisecondsLeft(deadline));
    } else {
      ::usleep(10000);
    }
  }
  return true;
}

}  // namespace

const char* toolName(Tool tool) {
  return entryOf(tool).name;
}

std::string toolPath(Tool tool) {
  const ToolEntry& entry = entryOf(tool);
  const std::string variable = std::string("WEND_TOOL_") + entry.name;
  return developerOverride(variable.c_str()).value_or(entry.defaultPath);
}

const char* toolStatusText(ToolStatus status) {
  switch (status) {
    case ToolStatus::kExited:
      return "exited";
    case ToolStatus::kSignalled:
      return "ended by a signal";
    case ToolStatus::kTimedOut:
      return "killed at its time limit";
    case ToolStatus::kOutputTooLarge:
      return "killed for too much output";
    case ToolStatus::kMissing:
      return "missing";
    case ToolStatus::kNotStarted:
      return "could not be started";
  }
  return "unknown";
}

ToolResult runTool(Tool tool, const std::vector<std::string>& arguments, const ToolLimits& limits) {
  return runProgram(toolPath(tool), arguments, limits);
}

ToolResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      const ToolLimits& limits) {
  ToolResult result;
  const Clock::time_point deadline = Clock::now() + limits.timeLimit;
  ChildProcess child;
  // A tool is waited for right here, so it can end with this thread: killing us ends it too.
  int rc = child.spawn(path, arguments, {ChildProcess::Output::kPipes, true, true});
  if (rc != 0) {
    result.status =
        (rc == ENOENT || rc == ENOTDIR) ? ToolStatus::kMissing : ToolStatus::kNotStarted;
    result.error = rc;
    return result;
  }
  ToolStatus status = collect(child, result, limits, deadline);
  int waitStatus = 0;
  if (status == ToolStatus::kExited && !awaitExit(child, waitStatus, deadline)) {
    status = ToolStatus::kTimedOut;
  }
  if (status != ToolStatus::kExited) {
    child.kill();
    child.wait(waitStatus);
    result.status = status;
    return result;
  }
  if (WIFEXITED(waitStatus)) {
    result.status = ToolStatus::kExited;
    result.exitCode = WEXITSTATUS(waitStatus);
  } else {
    result.status = ToolStatus::kSignalled;
    result.signal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
  }
  return result;
}

}  // namespace platform
