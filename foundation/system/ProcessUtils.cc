#include "foundation/system/ProcessUtils.h"

#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "foundation/files/PathText.h"
#include "foundation/logging/UtilsLog.h"
#include "platform/network/CurlPolicy.h"
#include "platform/plist/InfoPlist.h"
#include "platform/processes/BundleLauncher.h"
#include "platform/processes/ChildProcess.h"
#include "platform/processes/ProcessTable.h"
#include "platform/processes/ToolRunner.h"

namespace PandoUtils {
namespace ProcessUtils {
namespace {

constexpr char kComponent[] = "ProcessUtils";
constexpr char kTracking[] = "mv=product&mv2=corvel";
// How long the URL opener may take to say whether it took the address. One that is still running
// then (a browser it started in the foreground) is left to run and counts as having taken it.
constexpr int kOpenerAnswerMs = 5000;
constexpr char kFileScheme[] = "file:///";
constexpr auto kFrontWait = std::chrono::seconds(10);
constexpr auto kFrontStep = std::chrono::milliseconds(100);

// No process manager here: a launched process counts as known once the kernel lists it.
void bringToFront(pid_t pid, const std::string& path, pando::AbstractLogger* logger) {
  pando::utilsLog(logger, pando::kLogInfo, kComponent, "Launching process .... %d", pid);
  const auto deadline = std::chrono::steady_clock::now() + kFrontWait;
  while (!platform::processExists(pid)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      pando::utilsLog(logger, pando::kLogWarn, kComponent,
                      "Failed bring front... took much time to Launch Process %s", path.c_str());
      return;
    }
    std::this_thread::sleep_for(kFrontStep);
  }
  pando::utilsLog(logger, pando::kLogInfo, kComponent, "Bring to front process .... %d", pid);
}

bool launchAsTask(const std::string& path, const std::vector<std::string>& arguments, bool wait,
                  int& exitStatus, bool activate, pando::AbstractLogger* logger) {
  pando::utilsLog(logger, pando::kLogInfo, kComponent, "Launch Process With Task ");
  platform::ChildProcess child;
  if (child.spawn(path, arguments, {}) != 0) return false;
  if (activate) bringToFront(child.pid(), path, logger);
  int status = 0;
  if (wait && child.wait(status)) {
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
  }
  return true;
}

// What Launch Services would take as a file reference: the resolved path.
bool resolveForLaunch(const std::string& path, std::string& resolved,
                      pando::AbstractLogger* logger) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer)) {
    resolved = buffer;
    return true;
  }
  int error = errno;
  const char* name = strerrorname_np(error);
  pando::utilsLog(logger, pando::kLogWarn, kComponent,
                  "Launch Process get FSRef  ErrorString (%s:%s), For file %s", strerror(error),
                  name ? name : "", path.c_str());
  return false;
}

// "scheme:..." where the scheme is a letter followed by letters, digits, "+", "-" or ".".
// A process whose executable sits in <bundle>/Contents/MacOS/ is an application with a name of
// its own; the bundle's Info.plist gives it.
std::string bundleName(const std::string& executable) {
  static const std::string kMacOS = "/Contents/MacOS/";
  size_t at = executable.rfind(kMacOS);
  if (at == std::string::npos || executable.find('/', at + kMacOS.size()) != std::string::npos) {
    return {};
  }
  std::string name;
  platform::bundleInfoString(executable.substr(0, at), "CFBundleName", name);
  return name;
}

}  // namespace

bool launchApplication(const std::string& path, const std::vector<std::string>& arguments,
                       bool wait, int& exitStatus, bool activate, pando::AbstractLogger* logger) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return false;
  pando::utilsLog(logger, pando::kLogDebug, kComponent, "Launch Process at path %s", path.c_str());
  for (size_t i = 0; i < arguments.size(); ++i) {
    pando::utilsLog(logger, pando::kLogDebug, kComponent, "Launch Process With Arg %d : %s",
                    static_cast<int>(i), arguments[i].c_str());
  }
  std::string resolved;
  if (activate && resolveForLaunch(path, resolved, logger)) {
    pid_t pid = 0;
    return platform::launchBundle(resolved, arguments, pid) == platform::LaunchStatus::kLaunched;
  }
  return launchAsTask(path, arguments, wait, exitStatus, activate, logger);
}

namespace {

std::string withTracking(const std::string& url) {
  std::string address = url;
  size_t question = address.find('?');
  if (question == std::string::npos) {
    address += '?';
  } else if (question != address.size() - 1) {
    address += '&';
  }
  return address + kTracking;
}

bool openWithOpener(const std::string& address) {
  platform::ChildProcess opener;
  if (opener.spawn(platform::toolPath(platform::Tool::kUrlOpener), {address}, {}) != 0) {
    return false;
  }
  pollfd ended = {opener.exitFd(), POLLIN, 0};
  int ready;
  while ((ready = poll(&ended, 1, kOpenerAnswerMs)) < 0 && errno == EINTR) {
  }
  int status = 0;
  if (ready <= 0 || !opener.wait(status)) return true;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool openURLWithTracking(const std::string& url, bool addTracking) {
  // Other schemes would hand a file, a mail or another program's handler to the opener.
  if (!platform::isHttpUrl(url)) return false;
  return openWithOpener(addTracking ? withTracking(url) : url);
}

bool openFileURLWithTracking(const std::string& url) {
  if (url.rfind(kFileScheme, 0) != 0) return false;
  return openWithOpener(withTracking(url));
}

bool getRunningProcesses(std::vector<ProcessInfo>& processes) {
  processes.clear();
  std::vector<platform::ProcessEntry> entries;
  if (!platform::listProcesses(entries)) return false;
  for (const platform::ProcessEntry& entry : entries) {
    ProcessInfo process;
    process.pid = entry.pid;
    process.path = entry.executable;
    process.name = entry.shortName;
    if (entry.shortName.size() >= platform::kShortNameLength && !entry.executable.empty()) {
      process.name = files::baseName(entry.executable);
    }
    process.displayName = bundleName(entry.executable);
    if (process.displayName.empty()) process.displayName = process.name;
    processes.push_back(std::move(process));
  }
  return true;
}

}  // namespace ProcessUtils
}  // namespace PandoUtils
