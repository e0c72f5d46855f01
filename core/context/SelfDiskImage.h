#pragma once

#include <optional>
#include <string>
#include <vector>

// Finds the disk image the running application was opened from: the mounted volume under the
// volumes root that holds it, then the image behind that volume in hdiutil's list of attached
// images. The volume list and the hdiutil reply come through small interfaces (SystemVolumes.h has
// the real ones). Stateless; any thread. Log lines go to the installer's log function under
// "ApplicationContext".

struct MountedVolume {
  std::string path;               // mount point
  std::optional<bool> removable;  // unset when it cannot be told
};

class IVolumeList {
 public:
  virtual ~IVolumeList() = default;
  // Mounted volumes in the system's order; false when they cannot be listed.
  virtual bool volumes(std::vector<MountedVolume>& out) const = 0;
};

class IDiskImageInfo {
 public:
  virtual ~IDiskImageInfo() = default;
  // The standard output of "hdiutil info -plist"; false when the tool did not succeed.
  virtual bool attachedImages(std::string& reply) const = 0;
};

struct SelfDmgQuery {
  std::string appPath;      // the running application's bundle
  std::string volumesRoot;  // "/Volumes" here: WEND_ROOT + "/media"
  int osMinorVersion = 15;  // from 12 on, volumes match by content rather than by path
};

// True with the image file's path and the volume's mount point. The volume path is written once
// a removable volume matched, even when no image is found for it.
bool getSelfDmgPath(const SelfDmgQuery& query, const IVolumeList& volumes,
                    const IDiskImageInfo& images, std::string& imagePath, std::string& volumePath);

// The "image-path" of the first attached image one of whose "system-entities" has `volume` as
// its "mount-point" or "dev-entry". False when the reply does not parse or none matches.
bool imagePathFromInfo(const std::string& reply, const std::string& volume, std::string& imagePath);
