#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/config/ConfigStore.h"
#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/SharedSemaphore.h"

// The System V project ids of the installer's locks and of the other installer families' probes.
constexpr int kBootstrapperLockId = 0x0232AEA8;
constexpr int kLbsLockId = 0x4394AC9D;
constexpr int kMarlLockId = 0x7D026448;
constexpr int kQuarryLockId = 0x00856E61;

// A check that stops the workflow: the installer status to raise, and whether the user may retry.
struct WorkflowCheckFailure {
  int status;
  bool retry;
};

// The bootstrapper and installer-family locks one installation holds from its first step until
// the product installation or the end, and the system check that follows them. The locks are
// keyed by `keyPath` ("/tmp" in the product; a test passes a file of its own).
//
// Threads: one thread at a time: the workflow thread, or the product-install thread while the
// workflow waits for it. The destructor gives back what is still held.
class WorkflowLocks {
 public:
  explicit WorkflowLocks(std::string keyPath);
  ~WorkflowLocks();
  WorkflowLocks(const WorkflowLocks&) = delete;
  WorkflowLocks& operator=(const WorkflowLocks&) = delete;

  // Takes both locks and checks that no other installer family runs; nothing on success. On a
  // failure nothing stays held.
  std::optional<WorkflowCheckFailure> acquire();
  // Gives back what is held and empties the slots, so a second call releases nothing.
  void release();

  // The operating-system version against the configured minimum (written to
  // `requiredOsVersion`), then the case sensitivity of `caseCheckRoot`'s volume and the user's
  // settings folder's.
  static std::optional<WorkflowCheckFailure> checkSystem(ConfigStore& config,
                                                         const std::string& caseCheckRoot,
                                                         std::string& requiredOsVersion);

 private:
  std::optional<WorkflowCheckFailure> fail(const char* line, int status, bool retry);

  const std::string keyPath_;
  std::unique_ptr<pando::ProcessSemaphore> bootstrapperLock_;
  std::unique_ptr<pando::SharedSemaphore> lbsLock_;
};
