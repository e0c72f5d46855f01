#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// The external tools wend runs, each at one default path that WEND_TOOL_<NAME> overrides (for
// example WEND_TOOL_HDIUTIL), and one way to run them: posix_spawn with an argument vector, no
// shell, no inherited descriptors (see ChildProcess.h), standard output and error read apart and
// each capped, a time limit after which the tool and its process group are killed and reaped.
// A tool is killed as well when the calling thread or the whole process ends before it.
// Stateless apart from the environment; callable from any thread. Nothing here logs. A program
// that runs for long or whose output nobody reads (the elevated copy, a launched application)
// is better started with ChildProcess directly.
namespace platform {

enum class Tool : int {
  kHdiutil = 0,         // disk images; WEND_TOOL_HDIUTIL, default /usr/bin/hdiutil
  kCodesign = 1,        // code-signing authorities; WEND_TOOL_CODESIGN, default /usr/bin/codesign
  kUrlOpener = 2,       // the default URL handler; WEND_TOOL_URL_OPENER, default /usr/bin/xdg-open
  kSystemProfiler = 3,  // hardware report; WEND_TOOL_SYSTEM_PROFILER, /usr/sbin/system_profiler
  kElevation = 4,       // elevated relaunch; WEND_TOOL_ELEVATION, default /usr/bin/pkexec
  kLaunchctl = 5,       // launch agents; WEND_TOOL_LAUNCHCTL, default /bin/launchctl
  kSudo = 6,            // running a tool as another user; WEND_TOOL_SUDO, default /usr/bin/sudo
};

// The <NAME> of WEND_TOOL_<NAME>.
const char* toolName(Tool tool);
// WEND_TOOL_<NAME> when set and not empty, else the default path.
std::string toolPath(Tool tool);

struct ToolLimits {
  std::chrono::milliseconds timeLimit = std::chrono::minutes(5);
  size_t outputCap = size_t{16} << 20;  // per stream
};

enum class ToolStatus : int {
  kExited = 0,          // ended on its own; exitCode holds its status
  kSignalled = 1,       // ended by a signal it did not catch; signal holds it
  kTimedOut = 2,        // outlived the time limit: killed and reaped
  kOutputTooLarge = 3,  // a stream passed the cap: killed and reaped, streams cut at the cap
  kMissing = 4,         // nothing to execute at the path
  kNotStarted = 5,      // any other failure to start it; error holds the errno
};
const char* toolStatusText(ToolStatus status);

struct ToolResult {
  ToolStatus status = ToolStatus::kNotStarted;
  int exitCode = -1;  // kExited only
  int signal = 0;     // kSignalled only
  int error = 0;      // kMissing and kNotStarted: errno of the start
  std::string output;
  std::string errorOutput;

  bool succeeded() const { return status == ToolStatus::kExited && exitCode == 0; }
};

// Runs the tool with `arguments` (argv[0] is its path) until it ends and both streams close, or
// until the limits stop it. Blocks the calling thread for at most about the time limit.
ToolResult runTool(Tool tool, const std::vector<std::string>& arguments,
                   const ToolLimits& limits = {});
// The same for a program at an explicit path.
ToolResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      const ToolLimits& limits = {});

}  // namespace platform
