#pragma once

#include <sys/ipc.h>
#include <sys/sem.h>

#include <string>
#include <utility>

namespace wendtest {

// The System V semaphore set that the file at `path` and `projectId` key; -1 when there is none.
inline int semaphoreSetOf(const std::string& path, int projectId) {
  return semget(ftok(path.c_str(), projectId), 0, 0);
}

// Removes at its end the set that `path` and `projectId` key, so that no test leaves one behind.
class SemaphoreSetCleanup {
 public:
  SemaphoreSetCleanup(std::string path, int projectId)
      : path_(std::move(path)), projectId_(projectId) {}
  SemaphoreSetCleanup(const SemaphoreSetCleanup&) = delete;
  SemaphoreSetCleanup& operator=(const SemaphoreSetCleanup&) = delete;
  ~SemaphoreSetCleanup() {
    if (id() >= 0) semctl(id(), 0, IPC_RMID);
  }
  int id() const { return semaphoreSetOf(path_, projectId_); }
  int value(int index) const { return semctl(id(), index, GETVAL); }

 private:
  std::string path_;
  int projectId_;
};

}  // namespace wendtest
