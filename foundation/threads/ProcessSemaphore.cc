#include "foundation/threads/ProcessSemaphore.h"

#include <sys/ipc.h>

#include <cerrno>
#include <utility>

namespace pando {
namespace {

constexpr unsigned short kLock = 0;
constexpr unsigned short kFree = 1;

}  // namespace

ProcessSemaphore::ProcessSemaphore(int projectId, std::string keyPath,
                                   SemaphoreSetSettings settings)
    : projectId_(projectId), keyPath_(std::move(keyPath)), settings_(settings), set_(settings) {}

ProcessSemaphore::~ProcessSemaphore() {
  if (held_) release();
}

bool ProcessSemaphore::acquire() {
  if (held_) return true;
  // A set removed between our look-up and our take is made again, once.
  for (int round = 0; round < 2; ++round) {
    if (take()) return true;
    if (!SemaphoreSet::isGone(errno)) return false;
  }
  return false;
}

bool ProcessSemaphore::take() {
  key_t key = ftok(keyPath_.c_str(), projectId_);
  if (key == -1 || !set_.open(key, {kFree})) return false;
  held_ = set_.apply({{kLock, -1, SEM_UNDO | IPC_NOWAIT}});
  return held_;
}

bool ProcessSemaphore::release() {
  if (!held_) return true;
  if (!set_.isOpen()) return false;
  bool given = set_.apply({{kLock, 1, SEM_UNDO}});
  if (!given && set_.isOpen()) return false;
  // Given back, or gone with its set: either way this object holds nothing any more.
  held_ = false;
  set_.forget();
  return given;
}

bool ProcessSemaphore::isLocked() {
  key_t key = ftok(keyPath_.c_str(), projectId_);
  if (key == -1) return false;
  SemaphoreSet probe(settings_);
  return probe.openExisting(key, 1) && probe.value(kLock) == 0;
}

bool ProcessSemaphore::isProcessSemaphoreHeld(int projectId, const std::string& keyPath) {
  return ProcessSemaphore(projectId, keyPath).isLocked();
}

}  // namespace pando
