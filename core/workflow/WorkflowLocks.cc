#include "core/workflow/WorkflowLocks.h"

#include <tuple>

#include "core/config/ConfigValues.h"
#include "core/workflow/InstallerStatus.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/HardwareUtils.h"
#include "platform/system/VolumeCaseSensitivity.h"

namespace {

// The workflow's own lines: its log keeps them under its name.
constexpr pando::ComponentLog kLog{"WorkflowManager"};
constexpr int kUserSettingsFolder = 22;
constexpr char kDefaultMinimumOs[] = "10.9.0";

constexpr int kQuarryInitialCount = 255;

}  // namespace

WorkflowLocks::WorkflowLocks(std::string keyPath) : keyPath_(std::move(keyPath)) {}

WorkflowLocks::~WorkflowLocks() {
  release();
}

std::optional<WorkflowCheckFailure> WorkflowLocks::fail(const char* line, int status, bool retry) {
  kLog(pando::kLogError, "%s", line);
  release();
  return WorkflowCheckFailure{status, retry};
}

std::optional<WorkflowCheckFailure> WorkflowLocks::acquire() {
  // The product keys by "/tmp" itself; a test passes a file of its own.
  const bool defaultKey = keyPath_ == pando::ProcessSemaphore::kKeyPath;
  const int folderChoice = defaultKey ? 0 : 2;
  const char* keyName = defaultKey ? "" : keyPath_.c_str();

  bootstrapperLock_ = std::make_unique<pando::ProcessSemaphore>(kBootstrapperLockId, keyPath_);
  if (!bootstrapperLock_->acquire()) {
    // Not ours to release: the slot only goes.
    bootstrapperLock_.reset();
    kLog(pando::kLogError, "Failed to acquire Bootstrapper Lock");
    return WorkflowCheckFailure{kStatusOrvelInstallerRunning, false};
  }
  kLog(pando::kLogInfo, "Bootstrapper Lock acquired");
  lbsLock_ = std::make_unique<pando::SharedSemaphore>(kLbsLockId, 1, folderChoice, keyName, 0);
  if (!lbsLock_->tryAcquire()) {
    return fail("Failed to acquire LBS Lock", kStatusOrvelInstallerRunning, false);
  }
  kLog(pando::kLogInfo, "LBS Lock acquired");
  const bool marlHeld = pando::ProcessSemaphore::isProcessSemaphoreHeld(kMarlLockId, keyPath_);
  const bool quarryHeld = pando::SharedSemaphore::isSharedSemaphoreHeld(
      kQuarryLockId, kQuarryInitialCount, folderChoice, keyName, 0);
  if (marlHeld) return fail("Marl workflow is going on", kStatusOrvelInstallerRunning, false);
  if (quarryHeld) return fail("Quarry workflow is going on", kStatusQuarryRunning, true);
  return std::nullopt;
}

void WorkflowLocks::release() {
  if (bootstrapperLock_ && !bootstrapperLock_->release()) {
    kLog(pando::kLogError, "Failed to release bootstrapper lock");
  }
  bootstrapperLock_.reset();
  if (lbsLock_ && !lbsLock_->release()) kLog(pando::kLogError, "Failed to release lbs lock");
  lbsLock_.reset();
}

std::optional<WorkflowCheckFailure> WorkflowLocks::checkSystem(ConfigStore& config,
                                                               const std::string& caseCheckRoot,
                                                               std::string& requiredOsVersion) {
  HardwareUtils::OSVersion current;
  HardwareUtils::GetCurrentOSVersion(current);
  kLog(pando::kLogDebug, "Current OS version is: major:%d, minor:%d, sp or build:%d",
       current.majorVersion, current.minorVersion, current.patchVersion);
  std::string required = GetMinimumOsVersion(config);
  if (required.empty()) required = kDefaultMinimumOs;
  HardwareUtils::OSVersion minimum;
  HardwareUtils::ParseOSVersionString(required, minimum);
  requiredOsVersion = required;
  const auto tuple = [](const HardwareUtils::OSVersion& v) {
    return std::tie(v.majorVersion, v.minorVersion, v.patchVersion);
  };
  if (tuple(current) < tuple(minimum)) return WorkflowCheckFailure{kStatusIncompatibleOs, false};
  bool rootSensitive = false;
  bool userSensitive = false;
  std::string userFolder;
  const bool rootKnown = platform::isVolumeCaseSensitive(caseCheckRoot, rootSensitive);
  const bool userKnown = FileUtils::getSpecialFolderPath(kUserSettingsFolder, userFolder) &&
                         platform::isVolumeCaseSensitive(userFolder, userSensitive);
  if (rootKnown && userKnown && (rootSensitive || userSensitive)) {
    kLog(pando::kLogError, rootSensitive ? "Drive is Case sensitive. Cannot Install."
                                         : "User folder is Case sensitive. Cannot Install.");
    return WorkflowCheckFailure{kStatusCaseSensitiveVolume, false};
  }
  return std::nullopt;
}
