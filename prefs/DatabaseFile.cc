#include "prefs/DatabaseFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/UniqueFd.h"
#include "platform/system/SpecialFolders.h"
#include "prefs/OpmStatus.h"

namespace prefs {
namespace {

constexpr int kPreferencesFolder = 26;  // the console user's, below their data folder
constexpr mode_t kFileMode = 0600;

// A new file is handed to the user before anyone else can open it (created 0600, root's).
bool settleNewFile(int fd, const platform::ConsoleUser& user) {
  if (geteuid() == 0 && user.uid != 0 && fchown(fd, user.uid, user.gid) != 0) return false;
  return fchmod(fd, kFileMode) == 0;
}

int refuse(std::string& reason, const char* why) {
  reason = why;
  return OPM_DATABASE;
}

}  // namespace

int DatabaseFile::prepare(const platform::ConsoleUser& user, DatabaseFile& out,
                          std::string& reason) {
  std::string folder;
  // Created for the user and opened from their home without following a link on the way.
  platform::UniqueFd dir = platform::openSpecialFolder(kPreferencesFolder, "", folder);
  if (!dir.valid()) return refuse(reason, "the preferences folder cannot be made or opened");

  struct stat info {};
  if (fstatat(dir.get(), kFileName, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
    return refuse(reason, "the database path is not a regular file");
  }
  bool created = true;
  platform::UniqueFd file(
      openat(dir.get(), kFileName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
  if (!file.valid() && errno == EEXIST) {
    created = false;
    file = platform::UniqueFd(
        openat(dir.get(), kFileName, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  }
  if (!file.valid()) return refuse(reason, "the database file cannot be opened");
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return refuse(reason, "the database path is not a regular file");
  }
  if (created) {
    if (!settleNewFile(file.get(), user))
      return refuse(reason, "the new database cannot be set up");
  } else if (info.st_uid != user.uid) {
    return refuse(reason, "the database file belongs to another user");
  } else if ((info.st_mode & 07777) != kFileMode && fchmod(file.get(), kFileMode) != 0) {
    return refuse(reason, "the database file's mode cannot be narrowed");
  }
  out.path_ = folder + "/" + kFileName;
  out.device_ = info.st_dev;
  out.inode_ = info.st_ino;
  return OPM_OK;
}

bool DatabaseFile::stillAtPath() const {
  struct stat info {};
  return lstat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == device_ &&
         info.st_ino == inode_;
}

}  // namespace prefs
