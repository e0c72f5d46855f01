#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"

// Launching applications and executables, opening web addresses and listing running processes.
// No state; callable from any thread; every call runs on its caller's thread. Logs under
// "ProcessUtils" through `logger`, else through the utilities' fallback logging.
namespace PandoUtils {
namespace ProcessUtils {

struct ProcessInfo {
  int32_t pid = 0;
  std::string name;         // the executable's file name
  std::string displayName;  // the bundle's CFBundleName for an application, else name
  std::string path;         // the executable's full path; empty where the system gives none
};

// Starts `path` (an application bundle or an executable) with `arguments`. With `activate`, it
// is opened as an application (see platform/processes/BundleLauncher.h): never waited for, and a
// failure there is final; only a path that cannot be resolved falls back to the task route. The
// task route starts the executable as a child; with `activate` it then waits up to 10 s for the
// process to appear. With `wait` (task route only) the call blocks until the child ends and
// `exitStatus` receives its exit code (the signal number when a signal ended it); otherwise
// `exitStatus` is untouched and the child is reaped in the background. True when it started.
bool launchApplication(const std::string& path, const std::vector<std::string>& arguments,
                       bool wait, int& exitStatus, bool activate,
                       pando::AbstractLogger* logger = nullptr);

// Appends the fixed tracking query when asked and hands the address to the URL opener
// (platform::Tool::kUrlOpener). Only http and https addresses go out. Waits up to 5 s for the
// opener's answer: false when the address is not http(s), the opener cannot start or it exits
// with a failure; true when it exits 0 or is still running then (it is left to run).
bool openURLWithTracking(const std::string& url, bool addTracking);
// The same for a local file's address, which must start with "file:///"; the tracking query is
// always appended.
bool openFileURLWithTracking(const std::string& url);

// Fills `processes` (cleared first) with the running processes in the order the kernel lists
// them; a process whose short name the kernel cut is named after its executable's path. True
// when the process table could be read.
bool getRunningProcesses(std::vector<ProcessInfo>& processes);

}  // namespace ProcessUtils
}  // namespace PandoUtils
