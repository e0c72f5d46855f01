#include "core/install/TarnInstallationLock.h"

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"

namespace {

constexpr char kComponent[] = "WorkflowManager";

}  // namespace

TarnInstallationLock::TarnInstallationLock(std::string keyPath) : keyPath_(std::move(keyPath)) {}

bool TarnInstallationLock::acquire() {
  // The product keys by "/tmp" itself (folder choice 0); a test names a key file of its own.
  const bool defaultKey = keyPath_ == pando::ProcessSemaphore::kKeyPath;
  std::lock_guard lock(mutex_);
  lock_ = std::make_unique<pando::SharedSemaphore>(kTarnInstallationLockId, 1, defaultKey ? 0 : 2,
                                                   defaultKey ? "" : keyPath_.c_str(), 0);
  if (lock_->tryAcquire()) return true;
  LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
              "Failed to Acquire tarn installation lock.");
  return false;
}

void TarnInstallationLock::release() {
  std::lock_guard lock(mutex_);
  if (!lock_) return;
  if (lock_->isHeld() && !lock_->release()) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Failed to release tarnInstallation lock");
  }
  lock_.reset();
}
