#pragma once

#include <string>

#include "foundation/logging/SemaphoreSet.h"

namespace pando {

// A machine-wide lock, free or held, on a one-semaphore System V set keyed by
// ftok(key path, project id) (key path "/tmp" in the product; tests pass a private one). The set
// is made by the first acquire on the machine and never removed. Holds are taken with undo, so
// the kernel frees the lock of a process that dies. Acquisition never waits.
//
// One owner per object; failures are reported by false, nothing is logged.
class ProcessSemaphore {
 public:
  static constexpr const char* kKeyPath = "/tmp";

  explicit ProcessSemaphore(int projectId, std::string keyPath = kKeyPath,
                            SemaphoreSetSettings settings = {});
  ProcessSemaphore(const ProcessSemaphore&) = delete;
  ProcessSemaphore& operator=(const ProcessSemaphore&) = delete;
  // Gives back a held lock.
  ~ProcessSemaphore();

  // True at once when this object holds the lock; false when another process holds it.
  bool acquire();
  // True when nothing is held. A set removed under the hold ends the hold, with false.
  bool release();
  // Whether anybody holds the lock (false when the set does not exist).
  bool isLocked();
  bool isHeld() const { return held_; }

  static bool isProcessSemaphoreHeld(int projectId, const std::string& keyPath = kKeyPath);

 private:
  bool take();

  const int projectId_;
  const std::string keyPath_;
  const SemaphoreSetSettings settings_;
  SemaphoreSet set_;
  bool held_ = false;
};

}  // namespace pando
