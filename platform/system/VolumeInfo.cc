#include "platform/system/VolumeInfo.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/UniqueFd.h"
#include "platform/system/ConsoleUser.h"

namespace platform {
namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A sysfs attribute that reads "1". Attributes are a few bytes; anything else counts as unset.
bool sysfsFlag(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return false;
  char text[8] = {};
  ssize_t count = read(fd.get(), text, sizeof text - 1);
  return count > 0 && text[0] == '1';
}

// The block device's attribute, or that of the disk a partition belongs to.
bool deviceFlag(const std::string& sysfsRoot, dev_t device, const char* name) {
  std::string folder = sysfsRoot + "/dev/block/" + std::to_string(major(device)) + ":" +
                       std::to_string(minor(device));
  return sysfsFlag(folder + "/" + name) ||
         (access((folder + "/partition").c_str(), F_OK) == 0 && sysfsFlag(folder + "/../" + name));
}

// File systems without inode flags answer with one of these; the folder is then not locked.
bool flagsUnsupported(int error) {
  return error == ENOTTY || error == EOPNOTSUPP || error == EINVAL || error == ENOSYS;
}

bool readImmutable(const std::string& path, bool& immutable) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  int flags = 0;
  if (ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
    if (!flagsUnsupported(errno)) return false;
    flags = 0;
  }
  immutable = (flags & FS_IMMUTABLE_FL) != 0;
  return true;
}

}  // namespace

bool isNetworkFileSystem(const std::string& fsType) {
  for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "afpfs", "fuse.sshfs"}) {
    if (fsType == type) return true;
  }
  return false;
}

bool isInsideFolder(const std::string& path, const std::string& folder) {
  std::string inner = withoutTrailingSlashes(path);
  std::string outer = withoutTrailingSlashes(folder);
  if (outer.empty() || inner.empty()) return false;
  if (outer == "/") return inner[0] == '/';
  return inner.compare(0, outer.size(), outer) == 0 &&
         (inner.size() == outer.size() || inner[outer.size()] == '/');
}

bool volumeInfo(const std::string& path, VolumeInfo& out, const VolumeProbe& probe) {
  char resolved[PATH_MAX];
  std::vector<MountEntry> mounts;
  if (path.empty() || !realpath(path.c_str(), resolved) || !probe.mounts ||
      !probe.mounts->entries(mounts)) {
    return false;
  }
  VolumeInfo info;
  info.path = resolved;
  const MountEntry* holder = nullptr;
  for (const MountEntry& entry : mounts) {
    // A later mount on the same point hides the earlier one.
    if (isInsideFolder(info.path, entry.mountPoint) &&
        (!holder || entry.mountPoint.size() >= holder->mountPoint.size())) {
      holder = &entry;
    }
  }
  struct stat status {};
  if (!holder || stat(info.path.c_str(), &status) != 0 ||
      !readImmutable(info.path, info.immutable)) {
    return false;
  }
  info.mountPoint = holder->mountPoint;
  info.source = holder->source;
  info.fsType = holder->fsType;
  info.network = isNetworkFileSystem(info.fsType);

  struct statvfs stats {};
  info.statsAvailable = statvfs(info.path.c_str(), &stats) == 0;
  info.readOnly = (info.statsAvailable && (stats.f_flag & ST_RDONLY) != 0) ||
                  deviceFlag(probe.sysfsRoot, status.st_dev, "ro");
  info.removable = deviceFlag(probe.sysfsRoot, status.st_dev, "removable");
  std::string volumesRoot = probe.volumesRoot.empty() ? underRoot("/media") : probe.volumesRoot;
  info.unmountable = info.mountPoint != withoutTrailingSlashes(volumesRoot) &&
                     isInsideFolder(info.mountPoint, volumesRoot);
  out = std::move(info);
  return true;
}

}  // namespace platform
