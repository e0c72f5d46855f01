#include "foundation/logging/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pando {
namespace {

constexpr mode_t kLogMode = 0666;
// O_NONBLOCK: a FIFO planted at the path fails the open instead of blocking it; regular files
// ignore the flag.
constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Returns the descriptor; `created` tells whether this call made the file.
int openOrCreate(const std::string& path, bool& created) {
  int fd = ::open(path.c_str(), kAppendFlags | O_CREAT | O_EXCL, kLogMode);
  created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), kAppendFlags);
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
  int fd = openOrCreate(path, created);
  if (fd < 0) return false;
  if (!isRegularFile(fd)) {
    ::close(fd);
    return false;
  }
  if (created && fchmod(fd, kLogMode) != 0) {
    fprintf(stderr, "\n Error Set File permissions. errno = %s", strerror(errno));
  }
  fd_ = fd;
  return true;
}

void LogFile::close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

bool LogFile::append(const std::string& text) {
  if (fd_ < 0) return false;
  const char* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(fd_, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace pando
