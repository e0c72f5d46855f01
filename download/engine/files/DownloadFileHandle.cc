#include "download/engine/files/DownloadFileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <thread>

#include "download/engine/common/EngineLog.h"
#include "download/engine/files/EngineFileSystem.h"

namespace gde {
namespace {

constexpr const char* kComponent = "DownloadFileHandle";
constexpr int kOpenAttempts = 2;

bool offsetFits(uint64_t offset, size_t length) {
  return offset <= static_cast<uint64_t>(LLONG_MAX) - length;
}

}  // namespace

DownloadFileHandle::DownloadFileHandle(FileHandleSettings settings, const DiskSpaceProbe& probe)
    : settings_(settings), probe_(probe) {}

DownloadFileHandle::~DownloadFileHandle() {
  close();
}

bool DownloadFileHandle::open(const std::string& path, const StoppableWait& wait) {
  std::unique_lock<CriticalSection> guard(lock_);
  if (fd_ >= 0) return true;
  if (openOnce(path)) return true;
  int systemError = errno;
  if (!isPermanentFileError(systemError)) {
    engineLog(pando::kLogError, kComponent,
              "File handle for %s couldn't be initialised. Retrying now.", path.c_str());
    // Nothing is open for other threads to wait on: they need not queue behind the retry wait.
    guard.unlock();
    const bool stopped = wait ? wait(settings_.openRetryWait)
                              : (std::this_thread::sleep_for(settings_.openRetryWait), false);
    guard.lock();
    if (stopped) {
      engineLog(pando::kLogInfo, kComponent, "Opening %s was stopped.", path.c_str());
      systemError = ECANCELED;
    } else if (fd_ >= 0 || openOnce(path)) {
      return true;
    } else {
      systemError = errno;
    }
  }
  engineLog(pando::kLogError, kComponent,
            "Retry count: %d reached, but File handle for %s couldn't be initialised.",
            kOpenAttempts, path.c_str());
  error_.type = ERROR_FILE_SYSTEM;
  error_.code = classifyFileError(path, 0, systemError, probe_);
  error_.retryAfter = 0;
  error_.message = std::strerror(systemError);
  error_.segmentIndex = 0;
  error_.path = path;
  return false;
}

bool DownloadFileHandle::openOnce(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) return false;
  path_ = path;
  return true;
}

bool DownloadFileHandle::close() {
  std::lock_guard<CriticalSection> guard(lock_);
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  return true;
}

bool DownloadFileHandle::isOpen() {
  std::lock_guard<CriticalSection> guard(lock_);
  return fd_ >= 0;
}

std::string DownloadFileHandle::path() {
  std::lock_guard<CriticalSection> guard(lock_);
  return path_;
}

bool DownloadFileHandle::writeSegment(uint64_t offset, const void* bytes, size_t length) {
  if (writeAt(offset, bytes, length)) return true;
  std::lock_guard<CriticalSection> guard(lock_);
  error_.message = "Failed to write the segment in the file which is to be downloaded";
  return false;
}

bool DownloadFileHandle::writeAt(uint64_t offset, const void* bytes, size_t length) {
  std::lock_guard<CriticalSection> guard(lock_);
  if (!requireOpen()) return false;
  if (!offsetFits(offset, length)) {
    recordSystemError(EFBIG, std::strerror(EFBIG));
    return false;
  }
  const auto* cursor = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < length) {
    const ssize_t n =
        ::pwrite(fd_, cursor + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int systemError = n < 0 ? errno : ENOSPC;
      recordSystemError(systemError, std::strerror(systemError));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool DownloadFileHandle::readAt(uint64_t offset, void* buffer, size_t length) {
  std::lock_guard<CriticalSection> guard(lock_);
  if (!requireOpen()) return false;
  if (!offsetFits(offset, length)) {
    recordSystemError(EFBIG, std::strerror(EFBIG));
    return false;
  }
  auto* cursor = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd_, cursor + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      recordSystemError(errno, std::strerror(errno));
      return false;
    }
    if (n == 0) {
      recordSystemError(0, "Unexpected end of file");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool DownloadFileHandle::readToEnd(std::string& out, uint64_t offset, uint64_t maxLength) {
  out.clear();
  uint64_t size = 0;
  if (!getSize(size)) return false;
  const uint64_t length = size > offset ? size - offset : 0;
  if (length > maxLength) {
    std::lock_guard<CriticalSection> guard(lock_);
    recordSystemError(EFBIG, "File is larger than expected");
    return false;
  }
  out.resize(static_cast<size_t>(length));
  if (length == 0) return true;
  if (readAt(offset, out.data(), out.size())) return true;
  out.clear();
  return false;
}

bool DownloadFileHandle::holeWithin(uint64_t offset, uint64_t length) {
  std::lock_guard<CriticalSection> guard(lock_);
  if (!requireOpen() || length == 0) return false;
  const off_t hole = ::lseek(fd_, static_cast<off_t>(offset), SEEK_HOLE);
  if (hole < 0) return errno == ENXIO;  // the offset lies past the end
  return static_cast<uint64_t>(hole) < offset + length;
}

bool DownloadFileHandle::getSize(uint64_t& size) {
  std::lock_guard<CriticalSection> guard(lock_);
  if (!requireOpen()) return false;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    recordSystemError(errno, std::strerror(errno));
    return false;
  }
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

EngineErrorRecord DownloadFileHandle::getError() {
  std::lock_guard<CriticalSection> guard(lock_);
  return error_;
}

bool DownloadFileHandle::requireOpen() {
  if (fd_ >= 0) return true;
  engineLog(pando::kLogWarn, kComponent, "file handler not initialized");
  error_ = EngineErrorRecord{
      ERROR_FILE_SYSTEM, kFileErrorOther, 0, "file handler not initialized", 0, path_};
  return false;
}

void DownloadFileHandle::recordSystemError(int systemError, const std::string& message) {
  error_.type = ERROR_FILE_SYSTEM;
  error_.code = classifyFileError(path_, 0, systemError, probe_);
  error_.retryAfter = 0;
  error_.message = message;
  error_.segmentIndex = 0;
  error_.path = path_;
}

}  // namespace gde
