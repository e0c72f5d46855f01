#include "foundation/logging/LogRotation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "foundation/logging/LogFile.h"
#include "platform/UniqueFd.h"
#include "platform/system/ConsoleUser.h"

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

bool copyInto(int folder, const std::string& log, const std::string& rotated) {
  platform::UniqueFd from(::openat(folder, log.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (from.get() < 0) return false;
  platform::UniqueFd to(::openat(folder, rotated.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kCopyMode));
  if (to.get() < 0) return false;
  if (copyContent(from.get(), to.get()) && fchmod(to.get(), kCopyMode) == 0) return true;
  ::unlinkat(folder, rotated.c_str(), 0);
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
  // Both lie in the log's folder, which is the console user's: reached without their links.
  const std::filesystem::path log(path);
  if (std::filesystem::path(rotated).parent_path() != log.parent_path()) return false;
  const platform::UniqueFd folder = platform::openFolderInUserTree(log.parent_path().string());
  const std::string name = log.filename().string();
  if (!folder.valid() ||
      !copyInto(folder.get(), name, std::filesystem::path(rotated).filename().string())) {
    return false;
  }
  platform::UniqueFd truncated(::openat(folder.get(), name.c_str(),
                                        O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return truncated.get() >= 0;
}

}  // namespace pando
