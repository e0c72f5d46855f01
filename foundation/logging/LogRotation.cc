#include "foundation/logging/LogRotation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "foundation/logging/LogFile.h"
#include "platform/UniqueFd.h"

namespace pando {
namespace {

constexpr mode_t kCopyMode = 0666;
constexpr size_t kChunk = 4096;

bool copyContent(int from, int to) {
  char buffer[kChunk];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeWhole(to, buffer, static_cast<size_t>(got))) return false;
  }
}

bool copyInto(const std::string& path, const std::string& rotated) {
  platform::UniqueFd from(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (from.get() < 0) return false;
  platform::UniqueFd to(
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
  platform::UniqueFd log(
      ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return log.get() >= 0;
}

}  // namespace pando
