#include "foundation/system/DiskImage.h"

#include <vector>

#include "foundation/logging/UtilsLog.h"
#include "platform/plist/PropertyList.h"
#include "platform/processes/ToolRunner.h"

namespace FileUtils {
namespace {

constexpr char kComponent[] = "FileUtils";

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The first mount point of the attached image whose standardised path is `image`; empty if none.
std::string mountPointFromInfo(const std::string& reply, const std::string& image) {
  platform::PropertyList list;
  if (!list.parse(reply, platform::PlistForms::kXmlOnly)) return {};
  platform::PlistNode images = list.root().member("images");
  for (size_t i = 0; i < images.size(); ++i) {
    std::string imagePath;
    if (!images.at(i).member("image-path").stringValue(imagePath)) continue;
    if (standardizePath(imagePath) != image) continue;
    platform::PlistNode entities = images.at(i).member("system-entities");
    for (size_t j = 0; j < entities.size(); ++j) {
      std::string mountPoint;
      if (entities.at(j).member("mount-point").stringValue(mountPoint)) return mountPoint;
    }
    return {};
  }
  return {};
}

}  // namespace

std::string standardizePath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> kept;
  for (const std::string& part : components(path)) {
    if (part.empty() || part == ".") continue;
    if (part == ".." && !kept.empty() && kept.back() != "..") {
      kept.pop_back();
    } else if (part != ".." || !absolute) {
      kept.push_back(part);
    }
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) out += (i ? "/" : "") + kept[i];
  return out.empty() && !path.empty() ? "." : out;
}

bool attachDiskImage(const std::string& imagePath, const std::string& mountPoint,
                     std::string& mountedAt, bool& mountedHere, pando::AbstractLogger* logger) {
  platform::ToolResult attach = platform::runTool(
      platform::Tool::kHdiutil, {"attach", imagePath, "-noverify", "-noautoopen", "-nobrowse",
                                 "-noautofsck", "-readonly", "-quiet", "-mountpoint", mountPoint});
  if (attach.succeeded()) {
    mountedAt = mountPoint;
    mountedHere = true;
    return !mountedAt.empty();
  }
  pando::utilsLog(logger, pando::kLogError, kComponent,
                  "NOTE Failed to mount the package dmg. checking if already mounted...");
  mountedAt.clear();
  platform::ToolResult info = platform::runTool(platform::Tool::kHdiutil, {"info", "-plist"});
  if (!info.succeeded()) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "Error Failed to find the already mounted location ....");
    return false;
  }
  mountedAt = mountPointFromInfo(info.output, standardizePath(imagePath));
  if (!mountedAt.empty()) mountedHere = false;
  return !mountedAt.empty();
}

bool detachDiskImage(const std::string& mountPoint, pando::AbstractLogger* logger) {
  if (platform::runTool(platform::Tool::kHdiutil, {"detach", mountPoint, "-quiet"}).succeeded()) {
    return true;
  }
  pando::utilsLog(logger, pando::kLogError, kComponent, "Error Failed to unmount");
  return false;
}

}  // namespace FileUtils
