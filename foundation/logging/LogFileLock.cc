#include "foundation/logging/LogFileLock.h"

#include <sys/ipc.h>

namespace pando {
namespace {

constexpr unsigned short kUsers = 0;
constexpr unsigned short kMutex = 1;

}  // namespace

LogFileLock::~LogFileLock() {
  release();
}

bool LogFileLock::open(const std::string& path, int projectId) {
  if (set_.isOpen()) return true;
  path_ = path;
  projectId_ = projectId;
  return join();
}

bool LogFileLock::join() {
  key_t key = ftok(path_.c_str(), projectId_);
  if (key == -1) return false;
  if (!set_.open(key, {0, 1})) return false;
  // The user count is kept with undo: a process that dies, or exits without closing its sinks,
  // leaves no user behind, so the last live user still removes the set.
  if (set_.apply({{kUsers, 1, SEM_UNDO | IPC_NOWAIT}})) return true;
  set_.forget();
  return false;
}

bool LogFileLock::lock() {
  if (!set_.isOpen()) return false;
  if (set_.apply({{kMutex, -1, SEM_UNDO}})) return true;
  if (!SemaphoreSet::isGone(errno) || !join()) return false;
  return set_.apply({{kMutex, -1, SEM_UNDO}});
}

bool LogFileLock::unlock() {
  return set_.apply({{kMutex, 1, SEM_UNDO}});
}

bool LogFileLock::release() {
  if (!set_.isOpen()) return true;
  if (!set_.apply({{kUsers, -1, SEM_UNDO | IPC_NOWAIT}})) {
    set_.forget();
    return false;
  }
  if (set_.value(kUsers) != 0) {
    set_.forget();
    return true;
  }
  return set_.remove();
}

}  // namespace pando
