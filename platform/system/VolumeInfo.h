#pragma once

#include <string>

#include "platform/system/MountTable.h"

// What the system knows about the volume holding a folder: where it is mounted, whether it can be
// written, whether it is removable, a mounted volume the user can eject, a network share, and
// whether the folder itself is locked. Stateless; callable from any thread. Tests pass their own
// mount table, sysfs tree and volumes root.
namespace platform {

struct VolumeInfo {
  std::string path;        // the folder with every link and "." or ".." resolved
  std::string mountPoint;  // of the volume holding `path`
  std::string source;
  std::string fsType;
  bool statsAvailable = false;  // statvfs answered for the folder
  bool readOnly = false;        // mounted read-only, or its block device is
  bool removable = false;       // its block device (or the disk of its partition) is removable
  bool unmountable = false;     // mounted below the volumes root
  bool network = false;         // a network file system, known by its type
  bool immutable = false;       // the folder carries the immutable flag
};

struct VolumeProbe {
  const MountTable* mounts = &MountTable::system();
  std::string sysfsRoot = "/sys";
  std::string volumesRoot;  // empty: "/media" under WEND_ROOT
};

// False, `out` unchanged, when the path does not resolve, the mount table cannot be read, no mount
// holds the path, or the folder's flags cannot be read for a reason other than the file system
// not keeping any.
bool volumeInfo(const std::string& path, VolumeInfo& out, const VolumeProbe& probe = {});

// nfs, nfs4, cifs, smb3, smbfs, afpfs and fuse.sshfs.
bool isNetworkFileSystem(const std::string& fsType);

// True when `path` is `folder` or below it, comparing whole components: "/home/tester2" is not
// inside "/home/tester". Both are taken as given (resolve them first); trailing "/" are ignored.
bool isInsideFolder(const std::string& path, const std::string& folder);

}  // namespace platform
