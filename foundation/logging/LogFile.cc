#include "foundation/logging/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/system/ConsoleUser.h"

namespace pando {
namespace {

constexpr mode_t kLogMode = 0666;
// O_NONBLOCK: a FIFO planted at the path fails the open instead of blocking it; regular files
// ignore the flag.
constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Returns the descriptor; `created` tells whether this call made the file. The folder lies in the
// console user's tree: an elevated copy reaches it without following their links.
int openOrCreate(const std::string& path, bool& created) {
  const size_t slash = path.rfind('/');
  const std::string folderPath =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const platform::UniqueFd folder = platform::openFolderInUserTree(folderPath);
  if (!folder.valid()) return -1;
  int fd = ::openat(folder.get(), name.c_str(), kAppendFlags | O_CREAT | O_EXCL, kLogMode);
  created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = ::openat(folder.get(), name.c_str(), kAppendFlags);
  return fd;
}

bool isRegularFile(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool LogFile::open(const std::string& path) {
  close();
  bool created = false;
  platform::UniqueFd fd(openOrCreate(path, created));
  if (!fd.valid() || !isRegularFile(fd.get())) return false;
  if (created && fchmod(fd.get(), kLogMode) != 0) {
    fprintf(stderr, "\n Error Set File permissions. errno = %s", strerror(errno));
  }
  fd_ = std::move(fd);
  return true;
}

void LogFile::close() {
  fd_.reset();
}

bool LogFile::append(const std::string& text) {
  return fd_.valid() && writeWhole(fd_.get(), text.data(), text.size());
}

bool writeWhole(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace pando
