#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/install/TarnInstallationLock.h"
#include "core/workflow/WorkflowLocks.h"
#include "tests/support/SemaphoreSets.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// The ids of the installer's System V locks and probes.
constexpr int kLockIds[] = {kBootstrapperLockId, kLbsLockId, kTarnInstallationLockId, kMarlLockId,
                            kQuarryLockId};

// A private key file for the installer's locks, whose sets are removed at the end.
struct PrivateLockKey {
  PrivateLockKey() {
    writeFile(path, "");
    for (int id : kLockIds) cleanups.push_back(std::make_unique<SemaphoreSetCleanup>(path, id));
  }
  TemporaryFolder folder;
  std::string path = folder / "locks";
  std::vector<std::unique_ptr<SemaphoreSetCleanup>> cleanups;
};

}  // namespace wendtest
