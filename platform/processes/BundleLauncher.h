#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Launching an application the way Launch Services would: a bundle folder is started through
// the executable its Contents/Info.plist names (CFBundleExecutable, a plain file name inside
// Contents/MacOS); an executable file is started as it is. The new process is not waited for:
// it is reaped in the background when it ends (see ChildProcess.h for what it inherits).
// Stateless; callable from any thread.
namespace platform {

enum class LaunchStatus : int {
  kLaunched = 0,
  kNoBundle = 1,       // a folder without a readable Info.plist naming its executable
  kBadExecutable = 2,  // CFBundleExecutable is empty, ".", ".." or holds a "/"
  kNotStarted = 3,     // the executable could not be started
};
const char* launchStatusText(LaunchStatus status);

// Starts the bundle or executable at `path` with `arguments`; `pid` is the new process's id on
// kLaunched and unchanged otherwise.
LaunchStatus launchBundle(const std::string& path, const std::vector<std::string>& arguments,
                          pid_t& pid);

}  // namespace platform
