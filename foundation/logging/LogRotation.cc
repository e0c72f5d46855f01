#include "foundation/logging/LogRotation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

namespace pando {
namespace {

constexpr mode_t kCopyMode = 0666;
constexpr size_t kChunk = 4096;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool copyContent(int from, int to) {
  char buffer[kChunk];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, buffer, static_cast<size_t>(got))) return false;
  }
}

bool copyInto(const std::string& path, const std::string& rotated) {
  Descriptor from(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (from.get() < 0) return false;
  Descriptor to(
      ::open(rotated.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kCopyMode));
  if (to.get() < 0) return false;
  if (copyContent(from.get(), to.get()) && fchmod(to.get(), kCopyMode) == 0) return true;
  ::unlink(rotated.c_str());
  return false;
}

}  // namespace

bool LogRotation::isDue(const std::string& path, bool& due) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return false;
  due = info.st_size >= kRotateSize;
  return true;
}

std::string LogRotation::rotatedPath(const std::string& path, int64_t timeMs) {
  time_t seconds = static_cast<time_t>(timeMs / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char stamp[64];
  strftime(stamp, sizeof stamp, "%m-%d-%Y %H-%M-%S", &local);
  std::filesystem::path log(path);
  std::string name = log.stem().string() + " " + stamp + log.extension().string();
  return (log.parent_path() / name).string();
}

bool LogRotation::copyAndTruncate(const std::string& path, const std::string& rotated) {
  if (!copyInto(path, rotated)) return false;
  Descriptor log(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return log.get() >= 0;
}

}  // namespace pando
