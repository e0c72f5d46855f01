#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/SharedSemaphore.h"

constexpr int kTarnInstallationLockId = 0x012DFD5E;

// The desktop application's installation lock (System V project `kTarnInstallationLockId`, count
// 1): the product-install thread takes it, the launch step and the final states give it back. The
// slot is empty or holds one lock object, so a second release releases nothing. Any thread.
class TarnInstallationLock {
 public:
  // `keyPath`: the file the locks are keyed by, "/tmp" in the product.
  explicit TarnInstallationLock(std::string keyPath = pando::ProcessSemaphore::kKeyPath);

  // Takes the lock without waiting; a failure is logged. Whether it was taken.
  bool acquire();
  // Gives a held lock back and empties the slot; a failure is logged. Nothing when empty.
  void release();

 private:
  const std::string keyPath_;
  std::mutex mutex_;
  std::unique_ptr<pando::SharedSemaphore> lock_;  // guarded by mutex_
};
