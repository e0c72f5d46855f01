#include "platform/files/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "platform/UniqueFd.h"
#include "platform/system/ConsoleUser.h"

namespace platform {
namespace {

constexpr int kNameAttempts = 16;

bool writeAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// Splits as dirname and basename do: "a/b/" is "a" and "b", "b" is "." and "b".
void splitPath(std::string path, std::string& folder, std::string& name) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix() {
  unsigned long long value = 0;
  if (getrandom(&value, sizeof value, 0) != sizeof value) value ^= static_cast<unsigned>(getpid());
  char text[17];
  snprintf(text, sizeof text, "%016llx", value);
  return text;
}

// Creates a hidden file in the folder that no one else can have planted or linked. Its name is
// short whatever the target's length, so any name the folder can hold can be written.
UniqueFd createTemporary(int folderFd, std::string& temporary) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = ".wend-" + randomSuffix() + ".tmp";
    UniqueFd file(openat(folderFd, temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.valid() || errno != EEXIST) return file;
  }
  return UniqueFd();
}

bool applyMode(int folderFd, const std::string& name, int fileFd, AtomicFileMode mode) {
  if (mode == AtomicFileMode::kCreationDefault) return true;
  struct stat replaced {};
  const bool keeps = fstatat(folderFd, name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISREG(replaced.st_mode);
  return fchmod(fileFd, keeps ? replaced.st_mode & 07777 : 0644) == 0;
}

// Sets the new file's attributes before it takes the name.
using Prepare = std::function<bool(int folderFd, const std::string& name, int fileFd)>;

bool replaceWith(const std::string& path, const std::string& bytes, const Prepare& prepare) {
  std::string folderPath;
  std::string name;
  splitPath(path, folderPath, name);
  if (name.empty() || name == "/" || name == "." || name == "..") return false;
  UniqueFd folder = openFolderInUserTree(folderPath);
  if (!folder.valid()) return false;
  std::string temporary;
  UniqueFd file = createTemporary(folder.get(), temporary);
  if (!file.valid()) return false;
  bool written = writeAll(file.get(), bytes) && prepare(folder.get(), name, file.get()) &&
                 fsync(file.get()) == 0;
  written = close(file.release()) == 0 && written;
  if (written && renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) == 0) {
    // The rename is durable only once the folder's entry is on disk too.
    fsync(folder.get());
    return true;
  }
  unlinkat(folder.get(), temporary.c_str(), 0);
  return false;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, const std::string& bytes, AtomicFileMode mode) {
  return replaceWith(path, bytes, [mode](int folderFd, const std::string& name, int fileFd) {
    return applyMode(folderFd, name, fileFd, mode);
  });
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const AtomicFileOwnership& ownership) {
  return replaceWith(path, bytes, [&ownership](int, const std::string&, int fileFd) {
    // The owner first: a change of owner may clear set-id bits that the mode asks for.
    return fchown(fileFd, ownership.uid, ownership.gid) == 0 && fchmod(fileFd, ownership.mode) == 0;
  });
}

}  // namespace platform
