#include "mediation/ipc/MessageGatewayMac.h"

#include <limits.h>
#include <unistd.h>

#include <chrono>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "platform/processes/ElevatedStart.h"

namespace mediation {
namespace {

constexpr pando::ComponentLog kLog{"MessageGatewayMac"};
// The user may take a while to answer the password dialog.
constexpr auto kAnswerTimeLimit = std::chrono::minutes(30);
// What a program that cannot run is reported as: the elevation tool's own status for it.
constexpr int kNotRunnableStatus = 127;

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
  const platform::ElevationResult result =
      platform::startElevated(exe, {"--pipename=" + pipeName}, kAnswerTimeLimit);
  switch (result.status) {
    case platform::ElevationStatus::kStarted:
      return true;
    case platform::ElevationStatus::kNoTool:
      kLog(pando::kLogError, "Unable to create authorization (%d)", result.error);
      return false;
    case platform::ElevationStatus::kCancelled:
      kLog(pando::kLogError, "Authorization cancelled by user");
      return false;
    case platform::ElevationStatus::kNoProgram:
    case platform::ElevationStatus::kRefused:
    case platform::ElevationStatus::kTimedOut:
      break;
  }
  const int code =
      result.status == platform::ElevationStatus::kNoProgram ? kNotRunnableStatus : result.exitCode;
  kLog(pando::kLogError, "Unable to copy authorization rights (%d)", code);
  return false;
}

}  // namespace mediation
