#include "mediation/ipc/MessageGatewayMac.h"

#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "platform/processes/ToolRunner.h"

namespace mediation {
namespace {

constexpr char kComponent[] = "MessageGatewayMac";
// The status with which the elevation tool reports that the user dismissed its dialog.
constexpr int kCancelledStatus = 126;
// The user may take a while to answer the password dialog.
constexpr auto kAnswerTimeLimit = std::chrono::minutes(30);

// Run by the elevated shell: refuse an executable that cannot run (the tool would otherwise report
// success), then start it in a session of its own, detached from the tool and from our streams.
constexpr char kStartScript[] =
    "[ -x \"$0\" ] || exit 127; setsid \"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";

}  // namespace

std::string MessageGatewayMac::ownExecutable() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
  return std::string(path, static_cast<size_t>(length));
}

bool MessageGatewayMac::launchPrivilegedHelper(const std::string& pipeName,
                                               const std::string& executable) {
  const std::string exe = executable.empty() ? ownExecutable() : executable;
  // The tool's own path goes first on its command line.
  const std::vector<std::string> arguments = {"/bin/sh", "-c", kStartScript, exe,
                                              "--pipename=" + pipeName};
  platform::ToolLimits limits;
  limits.timeLimit = kAnswerTimeLimit;
  const platform::ToolResult result =
      platform::runTool(platform::Tool::kElevation, arguments, limits);
  if (result.succeeded()) return true;
  if (result.status == platform::ToolStatus::kMissing ||
      result.status == platform::ToolStatus::kNotStarted) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Unable to create authorization (%d)", result.error);
  } else if (result.status == platform::ToolStatus::kExited &&
             result.exitCode == kCancelledStatus) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Authorization cancelled by user");
  } else {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Unable to copy authorization rights (%d)",
                result.status == platform::ToolStatus::kExited ? result.exitCode : -1);
  }
  return false;
}

}  // namespace mediation
