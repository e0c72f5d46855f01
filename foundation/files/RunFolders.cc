#include "foundation/files/RunFolders.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

#include "foundation/files/FolderEntries.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/logging/UtilsLog.h"

namespace files {
namespace {

constexpr char kComponent[] = "RunFolders";
// The name stays what earlier runs gave their folders' lock files, so their leftovers are found.
constexpr const char* kLockFileName = ".operation.lock";
// The lock file while it is made, until it is locked.
constexpr const char* kNewLockFileName = ".operation.lock.new";
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// 8-4-4-4-12 hexadecimal digits, as the folders are named.
bool isUuidText(const std::string& name) {
  if (name.size() != 36) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? name[i] != '-' : !std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

bool ownedFile(int fd, mode_t type) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && (info.st_mode & S_IFMT) == type && info.st_uid == ::geteuid();
}

// The folder `name` of `temporaryFd` when it is a leftover: locked here (so no run can hold it
// while it goes), the lock's descriptor returned; invalid otherwise.
platform::UniqueFd lockLeftover(int temporaryFd, const std::string& name) {
  platform::UniqueFd folder(::openat(temporaryFd, name.c_str(), kFolderFlags));
  if (!folder.valid() || !ownedFile(folder.get(), S_IFDIR)) return platform::UniqueFd();
  platform::UniqueFd lock(
      ::openat(folder.get(), kLockFileName, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!lock.valid() || !ownedFile(lock.get(), S_IFREG)) return platform::UniqueFd();
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
    return platform::UniqueFd();  // a live run holds it
  // The name must still lead to the folder checked, not to one put there meanwhile.
  struct stat checked {};
  struct stat now {};
  if (::fstat(folder.get(), &checked) != 0 ||
      ::fstatat(temporaryFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      checked.st_dev != now.st_dev || checked.st_ino != now.st_ino) {
    return platform::UniqueFd();
  }
  return lock;
}

}  // namespace

platform::UniqueFd holdRunFolder(const std::string& folder) {
  platform::UniqueFd folderFd(::open(folder.c_str(), kFolderFlags));
  if (!folderFd.valid()) return platform::UniqueFd();
  platform::UniqueFd lock(::openat(folderFd.get(), kNewLockFileName,
                                   O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock.valid()) return platform::UniqueFd();
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 &&
      ::renameat2(folderFd.get(), kNewLockFileName, folderFd.get(), kLockFileName,
                  RENAME_NOREPLACE) == 0) {
    return lock;
  }
  ::unlinkat(folderFd.get(), kNewLockFileName, 0);
  return platform::UniqueFd();
}

int removeAbandonedRunFolders(const std::string& temporaryFolder, pando::AbstractLogger* logger) {
  platform::UniqueFd temporary(::open(temporaryFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!temporary.valid()) return 0;
  std::vector<std::string> names;
  int error = 0;
  if (!folderEntryNames(temporary.get(), names, error)) return 0;
  int removed = 0;
  for (const std::string& name : names) {
    if (!isUuidText(name)) continue;
    const platform::UniqueFd lock = lockLeftover(temporary.get(), name);
    if (!lock.valid()) continue;
    if (removeEntryAt(temporary.get(), name, error)) {
      ++removed;
      pando::utilsLog(logger, pando::kLogInfo, kComponent,
                      "Removed the folder %s that an ended run left", name.c_str());
    } else {
      pando::utilsLog(logger, pando::kLogWarn, kComponent,
                      "Could not remove all of the folder %s that an ended run left", name.c_str());
    }
  }
  return removed;
}

}  // namespace files
