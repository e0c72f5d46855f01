#pragma once

#include <string>

#include "core/context/SelfDiskImage.h"

// The real sources of getSelfDmgPath. Stateless; any thread.

// The mounted file systems from the one mount-table reader (platform/system/MountTable.h): the
// process's own table, or the mountinfo-format file that WEND_MOUNTINFO names (tests and the demo,
// which cannot mount). A volume is removable when its source is a loop device (a disk image) or
// sysfs says so of its block device or, for a partition, of the disk that holds it.
class SystemVolumes final : public IVolumeList {
 public:
  bool volumes(std::vector<MountedVolume>& out) const override;
};

// "hdiutil info -plist" through the tool runner; its standard output alone, capped at 16 MiB.
class HdiutilImageInfo final : public IDiskImageInfo {
 public:
  bool attachedImages(std::string& reply) const override;
};

// The question for the running program: its bundle, "/Volumes" under WEND_ROOT, and the minor
// version of the macOS this build stands for (WEND_OS_VERSION, else 10.15.7).
SelfDmgQuery systemSelfDmgQuery();
