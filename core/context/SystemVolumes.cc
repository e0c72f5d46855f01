#include "core/context/SystemVolumes.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/files/FileUtils.h"
#include "foundation/system/HardwareUtils.h"
#include "platform/UniqueFd.h"
#include "platform/processes/ToolRunner.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/DeveloperOverrides.h"
#include "platform/system/MountTable.h"

namespace {

constexpr int kRunningProgramFolder = 16;

// "0" or "1" from a sysfs attribute; unset when it cannot be read.
std::optional<bool> sysfsFlag(const std::string& path) {
  platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  char value = 0;
  if (!fd.valid() || read(fd.get(), &value, 1) != 1 || (value != '0' && value != '1')) {
    return std::nullopt;
  }
  return value == '1';
}

std::optional<bool> removableSource(const std::string& source) {
  static const std::string kDev = "/dev/";
  if (source.compare(0, kDev.size(), kDev) != 0) return std::nullopt;
  const std::string name = source.substr(kDev.size());
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return std::nullopt;
  }
  if (name.compare(0, 4, "loop") == 0) return true;
  const std::string device = "/sys/class/block/" + name;
  if (std::optional<bool> own = sysfsFlag(device + "/removable")) return own;
  char resolved[PATH_MAX];
  if (access((device + "/partition").c_str(), F_OK) != 0 || !realpath(device.c_str(), resolved)) {
    return std::nullopt;
  }
  return sysfsFlag(std::string(resolved) + "/../removable");
}

int minorVersion() {
  HardwareUtils::OSVersion version;
  HardwareUtils::GetCurrentOSVersion(version);
  return version.minorVersion;
}

}  // namespace

bool SystemVolumes::volumes(std::vector<MountedVolume>& out) const {
  std::vector<platform::MountEntry> entries;
  const std::optional<std::string> fixture = platform::developerOverride("WEND_MOUNTINFO");
  bool listed = fixture ? platform::MountInfoFile(*fixture).entries(entries)
                        : platform::MountTable::system().entries(entries);
  if (!listed) return false;
  out.clear();
  for (const platform::MountEntry& entry : entries) {
    out.push_back({entry.mountPoint, removableSource(entry.source)});
  }
  return true;
}

bool HdiutilImageInfo::attachedImages(std::string& reply) const {
  platform::ToolResult result = platform::runTool(platform::Tool::kHdiutil, {"info", "-plist"});
  if (!result.succeeded()) return false;
  reply = std::move(result.output);
  return true;
}

SelfDmgQuery systemSelfDmgQuery() {
  SelfDmgQuery query;
  FileUtils::getSpecialFolderPath(kRunningProgramFolder, query.appPath);
  query.volumesRoot = platform::underRoot("/media");
  query.osMinorVersion = minorVersion();
  return query;
}
