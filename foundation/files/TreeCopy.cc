#include "foundation/files/TreeCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/files/FolderEntries.h"
#include "foundation/files/PathText.h"
#include "foundation/files/TreeRemoval.h"
#include "platform/UniqueFd.h"

namespace files {
namespace {

using platform::UniqueFd;

enum class Existing { kFail, kReplace };

bool fail(int& error) {
  error = errno;
  return false;
}

bool copyBytes(int from, int to, int& error) {
  char buffer[1 << 16];
  while (true) {
    ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(error);
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return fail(error);
      done += put;
    }
  }
}

// Owner first (it may clear set-id bits), then mode, then times, which every change above would
// otherwise move.
bool keepAttributes(int fd, const struct stat& source, int& error) {
  if (geteuid() == 0 && fchown(fd, source.st_uid, source.st_gid) != 0) return fail(error);
  if (fchmod(fd, source.st_mode & 07777) != 0) return fail(error);
  const timespec times[2] = {source.st_atim, source.st_mtim};
  if (futimens(fd, times) != 0) return fail(error);
  return true;
}

// An entry: a name in an open folder.
struct At {
  int folder;
  const std::string& name;
};

bool copyEntry(At from, At to, Existing existing, int& error);

bool copyContents(int fromFolder, int toFolder, Existing existing, int& error) {
  std::vector<std::string> names;
  if (!folderEntryNames(fromFolder, names, error)) return false;
  for (const std::string& name : names) {
    if (!copyEntry({fromFolder, name}, {toFolder, name}, existing, error)) return false;
  }
  return true;
}

bool copyFile(At from, At to, const struct stat& info, int& error) {
  // A pipe swapped in since the entry was examined must neither block the copy nor pass for it.
  UniqueFd in(
      openat(from.folder, from.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat opened {};
  if (!in.valid() || fstat(in.get(), &opened) != 0) return fail(error);
  if (!S_ISREG(opened.st_mode)) {
    error = ENOTSUP;
    return false;
  }
  UniqueFd out(openat(to.folder, to.name.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.valid()) return fail(error);
  return copyBytes(in.get(), out.get(), error) && keepAttributes(out.get(), info, error);
}

bool copyLink(At from, At to, const struct stat& info, int& error) {
  std::vector<char> target(static_cast<size_t>(info.st_size) + 2);
  ssize_t length = readlinkat(from.folder, from.name.c_str(), target.data(), target.size());
  if (length < 0) return fail(error);
  if (static_cast<size_t>(length) >= target.size()) return error = EIO, false;  // changed meanwhile
  target[static_cast<size_t>(length)] = '\0';
  if (symlinkat(target.data(), to.folder, to.name.c_str()) != 0) return fail(error);
  if (geteuid() == 0 &&
      fchownat(to.folder, to.name.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW) != 0) {
    return fail(error);
  }
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (utimensat(to.folder, to.name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
  return true;
}

bool copyFifo(At to, const struct stat& info, int& error) {
  if (mkfifoat(to.folder, to.name.c_str(), 0600) != 0) return fail(error);
  UniqueFd fifo(openat(to.folder, to.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fifo.valid()) return fail(error);
  return keepAttributes(fifo.get(), info, error);
}

bool copyFolder(At from, At to, const struct stat& info, Existing existing, int& error) {
  bool merging = existing == Existing::kReplace;
  if (mkdirat(to.folder, to.name.c_str(), 0700) != 0 && !(errno == EEXIST && merging)) {
    return fail(error);
  }
  UniqueFd in(
      openat(from.folder, from.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd out(openat(to.folder, to.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid() || !out.valid()) return fail(error);
  return copyContents(in.get(), out.get(), existing, error) &&
         keepAttributes(out.get(), info, error);
}

// With kReplace an entry in the way goes first, unless a folder meets a folder: they merge.
bool clearTheWay(At to, const struct stat& source, int& error) {
  struct stat present;
  if (fstatat(to.folder, to.name.c_str(), &present, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT || fail(error);
  }
  if (S_ISDIR(present.st_mode) && S_ISDIR(source.st_mode)) return true;
  return removeEntryAt(to.folder, to.name, error);
}

bool copyEntry(At from, At to, Existing existing, int& error) {
  struct stat info;
  if (fstatat(from.folder, from.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return fail(error);
  }
  if (existing == Existing::kReplace && !clearTheWay(to, info, error)) return false;
  if (S_ISREG(info.st_mode)) return copyFile(from, to, info, error);
  if (S_ISLNK(info.st_mode)) return copyLink(from, to, info, error);
  if (S_ISDIR(info.st_mode)) return copyFolder(from, to, info, existing, error);
  if (S_ISFIFO(info.st_mode)) return copyFifo(to, info, error);
  error = ENOTSUP;
  return false;
}

UniqueFd openFolder(const std::string& path) {
  return UniqueFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

bool copyItem(const std::string& source, const std::string& destination, int& error) {
  UniqueFd from = openFolder(dirName(source));
  UniqueFd to = openFolder(dirName(destination));
  if (!from.valid() || !to.valid()) return fail(error);
  std::string fromName = baseName(source);
  std::string toName = baseName(destination);
  return copyEntry({from.get(), fromName}, {to.get(), toName}, Existing::kFail, error);
}

bool mergeFolder(const std::string& source, const std::string& destination, int& error) {
  UniqueFd from = openFolder(source);
  UniqueFd to(open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!from.valid() || !to.valid()) return fail(error);
  struct stat info;
  if (fstat(from.get(), &info) != 0) return fail(error);
  return copyContents(from.get(), to.get(), Existing::kReplace, error) &&
         keepAttributes(to.get(), info, error);
}

}  // namespace files
