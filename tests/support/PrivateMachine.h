#pragma once

#include <sys/types.h>

namespace wendtest {

// Programs built with PrivateMachine.cc run in an IPC and mount namespace of their own, with a
// fresh /tmp, where the kernel allows it.

// Whether this program has namespaces of its own (false where the kernel refused them).
bool inPrivateMachine();

// Another installer on the machine: a child of this program that holds the installer's lock
// `projectId` on the product's key ("/tmp") in the namespaces the program was started in, until
// the holder goes.
class MachineLockHolder {
 public:
  explicit MachineLockHolder(int projectId);
  ~MachineLockHolder();
  MachineLockHolder(const MachineLockHolder&) = delete;
  MachineLockHolder& operator=(const MachineLockHolder&) = delete;

  // Whether the lock is held where the program started: by the child, or by an installer there
  // before it.
  bool holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

}  // namespace wendtest
