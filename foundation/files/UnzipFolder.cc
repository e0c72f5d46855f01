#include "foundation/files/UnzipFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "foundation/logging/UtilsLog.h"

namespace files {
namespace {

using platform::UniqueFd;

constexpr mode_t kFolderMode = 0775;

// New files: root's are never writable by others, whatever the umask.
mode_t fileMode() {
  return geteuid() == 0 ? 0664 : 0666;
}

// Anything at `name` that writing a new file there must not reach: a link (it would be followed
// by a later reader), a file with further hard links (they would see the new data), or a special
// file (a FIFO would block the open). A plain file or a folder stays.
void clearWayFor(int folderFd, const std::string& name) {
  struct stat info;
  if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && info.st_nlink == 1)) return;
  unlinkat(folderFd, name.c_str(), 0);
}

}  // namespace

UnzipFolder::UnzipFolder(const UnzipSettings& settings, pando::AbstractLogger* logger)
    : settings_(settings), logger_(logger) {}

bool UnzipFolder::open(const std::string& path) {
  cached_.reset();
  cachedParts_.clear();
  path_ = path;
  root_.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return root_.valid();
}

int UnzipFolder::folder(const std::vector<std::string>& parts, size_t count) {
  if (count == 0) return root_.get();
  int start = root_.get();
  size_t done = 0;
  if (cached_.valid() && cachedParts_.size() <= count &&
      std::equal(cachedParts_.begin(), cachedParts_.end(), parts.begin())) {
    if (cachedParts_.size() == count) return cached_.get();
    start = cached_.get();
    done = cachedParts_.size();
  }
  std::string fullPath = path_;
  for (size_t i = 0; i < done; ++i) fullPath += "/" + parts[i];
  UniqueFd current;
  for (; done < count; ++done) {
    fullPath += "/" + parts[done];
    UniqueFd child;
    if (!step(current.valid() ? current.get() : start, parts[done], fullPath, child)) return -1;
    current = std::move(child);
  }
  cached_ = std::move(current);
  cachedParts_.assign(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(count));
  return cached_.get();
}

bool UnzipFolder::step(int parentFd, const std::string& name, const std::string& fullPath,
                       UniqueFd& child) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  child.reset(openat(parentFd, name.c_str(), flags));
  if (child.valid()) return true;
  if (errno != ENOENT) return false;
  // Another extraction may create the folder at the same moment: EEXIST is as good as success.
  auto attempt = [&] {
    return mkdirat(parentFd, name.c_str(), kFolderMode) == 0 || errno == EEXIST;
  };
  if (!retryWithLog(settings_, logger_, RetryKind::kFolder, fullPath, attempt)) return false;
  child.reset(openat(parentFd, name.c_str(), flags));
  return child.valid();
}

UniqueFd UnzipFolder::createFile(int folderFd, const std::string& name,
                                 const std::string& fullPath) {
  UniqueFd file;
  auto attempt = [&] {
    clearWayFor(folderFd, name);
    file.reset(openat(folderFd, name.c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      fileMode()));
    if (!file.valid()) return false;
    struct stat info;
    if (fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) return true;
    file.reset();  // something other than a file appeared between the check and the open
    errno = EINVAL;
    return false;
  };
  retryWithLog(settings_, logger_, RetryKind::kFile, fullPath, attempt);
  return file;
}

UniqueFd UnzipFolder::touchFile(int folderFd, const std::string& name) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd file(openat(folderFd, name.c_str(), flags));
  if (file.valid() || errno != ENOENT) return file;
  file.reset(openat(folderFd, name.c_str(), flags | O_CREAT, fileMode()));
  return file;
}

bool UnzipFolder::createLink(int folderFd, const std::string& name, const std::string& target) {
  struct stat info;
  if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode) &&
      unlinkat(folderFd, name.c_str(), 0) != 0) {
    return false;
  }
  return symlinkat(target.c_str(), folderFd, name.c_str()) == 0;
}

}  // namespace files
