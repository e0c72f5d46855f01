#pragma once

#include <string>

#include "foundation/logging/SemaphoreSet.h"

namespace pando {

// A counting machine-wide lock on a two-semaphore System V set keyed by ftok(key file, project
// id): the lock semaphore starts at `initialCount` and each holder takes one; the holder count
// tracks the objects that have the set open. The set is made by the first object that opens it
// and removed by the last one to close. Holds and opens are taken with undo, so the kernel gives
// back what a dying process had. Acquisition never waits.
//
// Key file by folder choice: 0 "/tmp" (plus "/name"), 1 the user's home folder (plus "/name"),
// otherwise `name` itself. A key file that does not exist is created and kept, so that every
// process finds the same key.
//
// One owner per object; failures are reported by false, nothing is logged. An object that cannot
// open its set reports the lock as taken.
class SharedSemaphore {
 public:
  SharedSemaphore(int projectId, int initialCount, int folderChoice, const char* name,
                  int indexFlag, SemaphoreSetSettings settings = {});
  SharedSemaphore(const SharedSemaphore&) = delete;
  SharedSemaphore& operator=(const SharedSemaphore&) = delete;
  // Gives back a held lock, leaves the set, and removes it when it was the last user.
  ~SharedSemaphore();

  // True when the set is (now) open. A set removed between look-up and use is opened afresh once.
  bool open();
  // Takes one unit without waiting; true at once when this object already holds one.
  bool tryAcquire();
  // True when nothing is held. A set removed under the hold ends the hold, with false.
  bool release();
  // Whether somebody holds a unit (true when no set is open).
  bool isInUse();
  bool isHeld() const { return held_; }
  const std::string& keyPath() const { return keyPath_; }

  static bool isSharedSemaphoreHeld(int projectId, int initialCount, int folderChoice,
                                    const char* name, int indexFlag);

 private:
  bool join();

  const int projectId_;
  const int initialCount_;
  const unsigned short lockIndex_;
  const unsigned short holderIndex_;
  std::string keyPath_;
  SemaphoreSet set_;
  bool held_ = false;
};

}  // namespace pando
