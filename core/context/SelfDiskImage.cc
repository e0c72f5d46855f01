#include "core/context/SelfDiskImage.h"

#include "core/context/TreeComparison.h"
#include "foundation/files/PathText.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "platform/plist/PropertyList.h"

namespace {

constexpr char kComponent[] = "ApplicationContext";
constexpr int kContentMatchMinorVersion = 12;

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

std::string withSlash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

bool volumeHoldsApp(const SelfDmgQuery& query, const std::string& pathSlash) {
  if (query.osMinorVersion >= kContentMatchMinorVersion) {
    return contentsEqualAtPath(query.appPath, pathSlash + files::baseName(query.appPath));
  }
  return startsWith(query.appPath, pathSlash);
}

bool entityNames(const platform::PlistNode& entity, const char* key, const std::string& volume) {
  std::string value;
  return entity.member(key).stringValue(value) && value == volume;
}

}  // namespace

bool imagePathFromInfo(const std::string& reply, const std::string& volume,
                       std::string& imagePath) {
  platform::PropertyList list;
  if (!list.parse(reply, platform::PlistForms::kXmlOnly)) return false;
  platform::PlistNode images = list.root().member("images");
  for (size_t i = 0; i < images.size(); ++i) {
    platform::PlistNode entities = images.at(i).member("system-entities");
    for (size_t j = 0; j < entities.size(); ++j) {
      if (entityNames(entities.at(j), "mount-point", volume) ||
          entityNames(entities.at(j), "dev-entry", volume)) {
        std::string path;
        if (!images.at(i).member("image-path").stringValue(path) || path.empty()) return false;
        imagePath = path;
        return true;
      }
    }
  }
  return false;
}

bool getSelfDmgPath(const SelfDmgQuery& query, const IVolumeList& volumes,
                    const IDiskImageInfo& images, std::string& imagePath, std::string& volumePath) {
  LogCallback(pando::kLogTrace, kBootstrapperModule, kComponent, "", "",
              "getSelfDmgPath appPath is %s", query.appPath.c_str());
  if (!startsWith(query.appPath, query.volumesRoot) &&
      query.osMinorVersion < kContentMatchMinorVersion) {
    return false;
  }
  std::vector<MountedVolume> mounted;
  if (!volumes.volumes(mounted)) return false;
  const std::string rootSlash = withSlash(query.volumesRoot);
  const MountedVolume* match = nullptr;
  for (const MountedVolume& volume : mounted) {
    if (startsWith(volume.path, rootSlash) && volumeHoldsApp(query, withSlash(volume.path))) {
      match = &volume;
      break;
    }
  }
  if (!match || !match->removable.value_or(false)) return false;
  volumePath = match->path;
  std::string reply;
  return images.attachedImages(reply) && imagePathFromInfo(reply, match->path, imagePath);
}
