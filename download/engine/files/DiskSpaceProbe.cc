#include "download/engine/files/DiskSpaceProbe.h"

#include <fcntl.h>
#include <sys/quota.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "download/engine/common/EngineLog.h"

namespace gde {
namespace {

constexpr const char* kComponent = "FileSystemUtils";
// Quota block counts are in units of 1 KiB.
constexpr uint64_t kQuotaBlockBytes = 1024;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// quotactl_fd reaches the volume through any descriptor on it, so no block device is needed.
long quotaCall(int fd, int command, uid_t id, void* record) {
  return syscall(SYS_quotactl_fd, fd, QCMD(command, USRQUOTA), id, record);
}

// The kernel, the file system or the volume has no quota to offer.
bool meansNoQuota(int error) {
  return error == ENOSYS || error == ENOTSUP || error == ESRCH || error == ENOENT ||
         error == EINVAL || error == ENOTTY;
}

// The path itself may not exist yet (a file about to be created): its folder is on the same volume.
int openOnVolume(const std::string& path) {
  int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd >= 0) return fd;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return ::open(folder.c_str(), O_PATH | O_CLOEXEC);
}

class SystemDiskSpaceProbe final : public DiskSpaceProbe {
 public:
  bool isSuperUser() const override { return geteuid() == 0 || getuid() == 0; }

  QuotaState readUserQuota(const std::string& path, QuotaRecord& out) const override {
    FileDescriptor volume(openOnVolume(path));
    if (volume.get() < 0) return failed("isQutoaEnabled", errno);
    struct dqinfo info {};
    if (quotaCall(volume.get(), Q_GETINFO, 0, &info) != 0) {
      if (meansNoQuota(errno)) return QuotaState::kOff;
      return failed("isQutoaEnabled", errno);
    }
    engineLog(pando::kLogTrace, kComponent, "isQutoaEnabled %d userID %d ", 1,
              static_cast<int>(geteuid()));
    struct dqblk record {};
    if (quotaCall(volume.get(), Q_GETQUOTA, geteuid(), &record) != 0) {
      const int error = errno;
      engineLog(pando::kLogError, kComponent,
                "Error util_GetQuotaSize got error (%d) while querying quota information. Errorno "
                "(%d). error msg -- %s",
                -1, error, std::strerror(error));
      return QuotaState::kError;
    }
    out.softLimitBytes = record.dqb_bsoftlimit * kQuotaBlockBytes;
    out.hardLimitBytes = record.dqb_bhardlimit * kQuotaBlockBytes;
    out.currentBytes = record.dqb_curspace;
    return QuotaState::kOn;
  }

  bool readFreeBytes(const std::string& path, uint64_t& out) const override {
    FileDescriptor volume(openOnVolume(path));
    struct statvfs info {};
    if (volume.get() < 0 || fstatvfs(volume.get(), &info) != 0) return false;
    out = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    return true;
  }

 private:
  static QuotaState failed(const char* what, int error) {
    engineLog(pando::kLogError, kComponent,
              "Error util_GetQuotaSize got (%d) while querying %s. Errorno (%d). error msg -- %s",
              -1, what, error, std::strerror(error));
    return QuotaState::kError;
  }
};

}  // namespace

const DiskSpaceProbe& systemDiskSpaceProbe() {
  static const SystemDiskSpaceProbe probe;
  return probe;
}

}  // namespace gde
