#include "foundation/threads/SharedSemaphore.h"

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/UniqueFd.h"
#include "platform/system/SpecialFolders.h"

namespace pando {
namespace {

constexpr const char* kTemporaryFolder = "/tmp";
constexpr mode_t kKeyFileMode = 0644;
constexpr int kHomeFolderId = 9;  // the home folder of the user this process runs as

std::string keyPathFor(int folderChoice, const char* name) {
  const bool named = name && *name;
  if (folderChoice != 0 && folderChoice != 1) return named ? name : "";
  std::string folder = kTemporaryFolder;
  if (folderChoice == 1 && !platform::specialFolderPath(kHomeFolderId, folder)) return "";
  return named ? folder + "/" + name : folder;
}

// ftok needs a file; one that is missing is made, and kept, so that the key stays the same for
// every process that comes later.
void ensureKeyFile(const std::string& path) {
  struct stat info;
  if (path.empty() || lstat(path.c_str(), &info) == 0) return;
  platform::UniqueFd made(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kKeyFileMode));
}

}  // namespace

SharedSemaphore::SharedSemaphore(int projectId, int initialCount, int folderChoice,
                                 const char* name, int indexFlag, SemaphoreSetSettings settings)
    : projectId_(projectId),
      initialCount_(initialCount),
      lockIndex_(indexFlag ? 1 : 0),
      holderIndex_(indexFlag ? 0 : 1),
      keyPath_(keyPathFor(folderChoice, name)),
      set_(settings) {
  ensureKeyFile(keyPath_);
  open();
}

SharedSemaphore::~SharedSemaphore() {
  if (held_) release();
  if (!set_.isOpen()) return;
  if (set_.apply({{holderIndex_, -1, SEM_UNDO | IPC_NOWAIT}}) && set_.value(holderIndex_) == 0) {
    set_.remove();
  }
  set_.forget();
}

bool SharedSemaphore::open() {
  if (set_.isOpen()) return true;
  if (keyPath_.empty() || initialCount_ < 0) return false;
  // A set removed between our look-up and our joining is made again, once.
  for (int round = 0; round < 2; ++round) {
    if (join()) return true;
    if (!SemaphoreSet::isGone(errno)) return false;
  }
  return false;
}

bool SharedSemaphore::join() {
  key_t key = ftok(keyPath_.c_str(), projectId_);
  if (key == -1) return false;
  std::vector<unsigned short> start(2, 0);
  start[lockIndex_] = static_cast<unsigned short>(initialCount_);
  if (!set_.open(key, start)) return false;
  if (set_.apply({{holderIndex_, 1, SEM_UNDO}})) return true;
  set_.forget();
  return false;
}

bool SharedSemaphore::tryAcquire() {
  if (held_) return true;
  for (int round = 0; round < 2; ++round) {
    if (!open()) return false;
    held_ = set_.apply({{lockIndex_, -1, SEM_UNDO | IPC_NOWAIT}});
    if (held_ || !SemaphoreSet::isGone(errno)) return held_;
  }
  return false;
}

bool SharedSemaphore::release() {
  if (!held_) return true;
  bool given = set_.apply({{lockIndex_, 1, SEM_UNDO}});
  if (!given && set_.isOpen()) return false;
  // Given back, or gone with its set: either way this object holds nothing any more.
  held_ = false;
  return given;
}

bool SharedSemaphore::isInUse() {
  int value = set_.isOpen() ? set_.value(lockIndex_) : 0;
  return value < initialCount_;
}

bool SharedSemaphore::isSharedSemaphoreHeld(int projectId, int initialCount, int folderChoice,
                                            const char* name, int indexFlag) {
  SharedSemaphore probe(projectId, initialCount, folderChoice, name, indexFlag);
  return !probe.open() || probe.isInUse();
}

}  // namespace pando
