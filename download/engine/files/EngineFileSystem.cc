#include "download/engine/files/EngineFileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "download/engine/DLETypes.h"
#include "download/engine/common/EngineLog.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "platform/system/ConsoleUser.h"

namespace gde {
namespace {

constexpr const char* kComponent = "FileSystemUtils";

bool statWithoutFollowing(const std::string& path, struct stat& info) {
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool homeOfUser(uid_t uid, std::string& out) {
  platform::ConsoleUser user;
  if (!platform::findUser(uid, user)) return false;
  out = platform::underRoot(user.home);
  return true;
}

}  // namespace

bool createLocalFile(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    engineLog(pando::kLogError, kComponent,
              "Error creating local file. Error code: %d - message: %s", error,
              std::strerror(error));
    return false;
  }
  ::close(fd);
  error = 0;
  return true;
}

bool isPermanentFileError(int systemError) {
  return systemError == EISDIR || systemError == ENAMETOOLONG;
}

bool truncateFile(const std::string& path, uint64_t size, int& error, const DiskSpaceProbe& probe) {
  int systemError = EFBIG;
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    systemError = errno;
  } else if (size <= static_cast<uint64_t>(LLONG_MAX)) {
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    systemError = sized ? 0 : errno;
  }
  if (fd >= 0) ::close(fd);
  if (systemError == 0) {
    error = 0;
    return true;
  }
  error = classifyFileError(path, size, systemError, probe);
  int ignored = 0;
  deleteFile(path, ignored);
  return false;
}

bool reserveFileSpace(const std::string& path, uint64_t size, int& error,
                      const DiskSpaceProbe& probe) {
  error = 0;
  if (size == 0 || size > static_cast<uint64_t>(LLONG_MAX)) return true;
  // A reservation the volume cannot hold would fill it before failing: ask first.
  int systemError = hasEnoughSpace(path, size, probe) ? 0 : ENOSPC;
  if (systemError == 0) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      systemError = errno;
    } else {
      if (::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0) systemError = errno;
      ::close(fd);
    }
  }
  if (systemError == 0 || systemError == EOPNOTSUPP || systemError == ENOSYS) return true;
  error = classifyFileError(path, size, systemError, probe);
  int ignored = 0;
  deleteFile(path, ignored);  // gives back whatever part of the reservation was made
  return false;
}

bool deleteFile(const std::string& path, int& error) {
  if (path.empty()) {
    engineLog(pando::kLogWarn, kComponent, "deleteFile : invalid filePath to delete");
    error = kDleErrorInvalidPath;
    return false;
  }
  engineLog(pando::kLogTrace, kComponent, "deleteFile : going to delete filePath - %s",
            path.c_str());
  error = 0;
  if (::unlink(path.c_str()) == 0) return true;
  if (errno == ENOENT) {
    engineLog(pando::kLogTrace, kComponent, "File does not exist!");
    return true;
  }
  error = errno;
  engineLog(pando::kLogError, kComponent, "deleteFile : failed to delete %s - %s", path.c_str(),
            std::strerror(error));
  return false;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  if (statWithoutFollowing(path, info) && !S_ISDIR(info.st_mode)) return true;
  engineLog(pando::kLogTrace, kComponent, "File does not exist at %s", path.c_str());
  return false;
}

bool folderExists(const std::string& path) {
  struct stat info {};
  if (statWithoutFollowing(path, info) && S_ISDIR(info.st_mode)) return true;
  engineLog(pando::kLogTrace, kComponent, "Unable to detect directory existence for %s",
            path.c_str());
  return false;
}

bool createFolder(const std::string& path, int& error) {
  std::error_code failure;
  std::filesystem::create_directories(path, failure);
  error = failure.value();
  if (!failure && !std::filesystem::is_directory(path, failure)) error = ENOTDIR;
  return error == 0;
}

bool removeFolder(const std::string& path, int& error) {
  std::error_code failure;
  std::filesystem::remove_all(path, failure);
  error = failure.value();
  if (failure) {
    engineLog(pando::kLogError, kComponent,
              "failed to remove folder %s. Error is %d and error domain is %s - %s", path.c_str(),
              error, failure.category().name(), failure.message().c_str());
  }
  return !failure;
}

bool renameFile(const std::string& to, const std::string& from, int& error) {
  if (to.empty() || from.empty()) {
    engineLog(pando::kLogWarn, kComponent, "invalid params for renameFile");
    error = kDleErrorInvalidPath;
    return false;
  }
  int result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // The file system cannot refuse a replacement itself: check first.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
      errno = EEXIST;
    } else {
      result = ::rename(from.c_str(), to.c_str());
    }
  }
  error = result == 0 ? 0 : errno;
  if (result != 0) {
    engineLog(pando::kLogError, kComponent,
              "Failed to rename the file from %s to %s. Error is %d and error domain is %s",
              from.c_str(), to.c_str(), error, "POSIX");
  }
  return result == 0;
}

bool writeStringToFile(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = writeAll(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  ::close(fd);
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

int getQuotaSize(const std::string& path, uint64_t& available, const DiskSpaceProbe& probe) {
  available = 0;
  if (probe.isSuperUser()) return 0;
  QuotaRecord record;
  const QuotaState state = probe.readUserQuota(path, record);
  if (state != QuotaState::kOn) return static_cast<int>(state);
  engineLog(pando::kLogTrace, kComponent, "dqb_bsoftlimit (%llu) ?",
            static_cast<unsigned long long>(record.softLimitBytes));
  engineLog(pando::kLogTrace, kComponent, "dqb_bhardlimit (%llu) ?",
            static_cast<unsigned long long>(record.hardLimitBytes));
  engineLog(pando::kLogTrace, kComponent, "dqb_curbytes (%llu) ?",
            static_cast<unsigned long long>(record.currentBytes));
  const uint64_t limit = record.softLimitBytes ? record.softLimitBytes : record.hardLimitBytes;
  if (limit == 0) {
    engineLog(pando::kLogTrace, kComponent,
              "Note there is Quota on system and not configured or zero quotaLimit specified for "
              "this user. Treating as quota not enabled.");
    return 0;
  }
  available = limit > record.currentBytes ? limit - record.currentBytes : 0;
  engineLog(pando::kLogTrace, kComponent, "outAvailableQuotaSize (%llu) ?",
            static_cast<unsigned long long>(available));
  return 1;
}

bool hasEnoughSpace(const std::string& path, uint64_t needed, const DiskSpaceProbe& probe) {
  uint64_t available = 0;
  switch (getQuotaSize(path, available, probe)) {
    case 1:
      engineLog(pando::kLogTrace, kComponent, "availableQuotaSize ... %llu",
                static_cast<unsigned long long>(available));
      if (needed >= available) return false;
      break;
    case -1:
      engineLog(pando::kLogError, kComponent, "Error util_GetQuotaSize got error.");
      return false;
    default:
      break;
  }
  uint64_t freeBytes = 0;
  // When the volume cannot be asked, nothing says it is full.
  if (!probe.readFreeBytes(path, freeBytes)) return true;
  engineLog(pando::kLogTrace, kComponent, "freeDiskSpace ... %llu",
            static_cast<unsigned long long>(freeBytes));
  return needed < freeBytes;
}

int classifyFileError(const std::string& path, uint64_t needed, int systemError,
                      const DiskSpaceProbe& probe) {
  if (systemError == ENOSPC || systemError == EDQUOT) return kFileErrorDiskFull;
  if (!hasEnoughSpace(path, needed, probe)) return kFileErrorDiskFull;
  engineLog(pando::kLogTrace, kComponent, "some exception has come");
  return kFileErrorOther;
}

bool parseDecimalU64(const char* text, size_t length, uint64_t& out) {
  out = 0;
  uint64_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  out = value;
  return true;
}

bool formatU64(uint64_t value, std::string& out) {
  out = std::to_string(value);
  return true;
}

void stringToInt(const char* text, int32_t& out) {
  const long long value = text ? std::strtoll(text, nullptr, 10) : 0;
  if (value > INT32_MAX) {
    out = INT32_MAX;
  } else if (value < INT32_MIN) {
    out = INT32_MIN;
  } else {
    out = static_cast<int32_t>(value);
  }
}

bool getHomeFolder(std::string& out) {
  return homeOfUser(geteuid(), out);
}

bool getConsoleUserHomeFolder(std::string& out) {
  platform::ConsoleUser user;
  if (!platform::findConsoleUser(user)) return getHomeFolder(out);
  out = platform::underRoot(user.home);
  return true;
}

}  // namespace gde
