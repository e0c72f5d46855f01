#include "platform/processes/BundleLauncher.h"

#include <sys/stat.h>

#include "platform/plist/InfoPlist.h"
#include "platform/processes/ChildProcess.h"

namespace platform {
namespace {

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

const char* launchStatusText(LaunchStatus status) {
  switch (status) {
    case LaunchStatus::kLaunched:
      return "launched";
    case LaunchStatus::kNoBundle:
      return "no bundle executable";
    case LaunchStatus::kBadExecutable:
      return "bad bundle executable name";
    case LaunchStatus::kNotStarted:
      return "could not be started";
  }
  return "unknown";
}

LaunchStatus launchBundle(const std::string& path, const std::vector<std::string>& arguments,
                          pid_t& pid) {
  struct stat info;
  std::string executable = path;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::string name;
    if (!bundleInfoString(path, "CFBundleExecutable", name)) return LaunchStatus::kNoBundle;
    if (!isPlainFileName(name)) return LaunchStatus::kBadExecutable;
    executable = path + "/Contents/MacOS/" + name;
  }
  ChildProcess child;
  if (child.spawn(executable, arguments, {}) != 0) return LaunchStatus::kNotStarted;
  pid = child.pid();
  return LaunchStatus::kLaunched;
}

}  // namespace platform
