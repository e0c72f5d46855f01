#pragma once

#include <string>

#include "foundation/logging/SemaphoreSet.h"

namespace pando {

// Serialises the writers of one log file across threads and processes: a System V set keyed by
// ftok(log path, project id). Semaphore 0 counts the sinks that use the file (the last one to
// leave removes the set), semaphore 1 is the mutex (1 = free). Both move with undo, so a process
// that dies while writing frees the mutex, and one that never released leaves no user behind.
//
// Threads of one process serialise on the mutex as well, but tools such as ThreadSanitizer cannot
// see that: a sink keeps its own in-process mutex around lock/unlock. One owner per object.
class LogFileLock {
 public:
  explicit LogFileLock(SemaphoreSetSettings settings = {}) : set_(settings) {}
  LogFileLock(const LogFileLock&) = delete;
  LogFileLock& operator=(const LogFileLock&) = delete;
  // Leaves the set as release does.
  ~LogFileLock();

  // Joins (or creates) the set of the file at `path`, which must exist. True when already open.
  bool open(const std::string& path, int projectId);
  // Waits while another writer holds the mutex. A set removed meanwhile is joined afresh once.
  bool lock();
  bool unlock();
  // Leaves the set; the last user removes it. True when there is nothing to leave.
  bool release();

 private:
  bool join();

  SemaphoreSet set_;
  std::string path_;
  int projectId_ = 0;
};

}  // namespace pando
