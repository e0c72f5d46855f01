#include "core/install/InstallLocation.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "platform/system/ConsoleUser.h"
#include "platform/system/VolumeCaseSensitivity.h"

namespace {

bool resolved(const std::string& path, std::string& out) {
  char buffer[PATH_MAX];
  if (path.empty() || !realpath(path.c_str(), buffer)) return false;
  out = buffer;
  return true;
}

bool isPackageName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0;
}

bool isFolderNotPackage(const std::string& resolvedPath) {
  struct stat status {};
  return stat(resolvedPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         !isPackageName(resolvedPath);
}

bool fail(std::string& errorNumber, const char* number) {
  errorNumber = number;
  return false;
}

}  // namespace

InstallLocationProbe systemInstallLocationProbe() {
  InstallLocationProbe probe;
  platform::ConsoleUser user;
  if (platform::findConsoleUser(user)) probe.homeFolder = platform::underRoot(user.home);
  probe.isVolumeCaseSensitive = [](const std::string& volumePath) {
    bool caseSensitive = false;
    return platform::isVolumeCaseSensitive(volumePath, caseSensitive) && caseSensitive;
  };
  return probe;
}

bool restrictFileOrPackage(const std::string& path) {
  std::string folder;
  return resolved(path, folder) && isFolderNotPackage(folder);
}

bool isInstallableFile(const std::string& path, std::string& errorNumber,
                       const InstallLocationProbe& probe) {
  std::string folder;
  if (!resolved(path, folder) || !isFolderNotPackage(folder) || isPackageName(path)) {
    return fail(errorNumber, "7");
  }
  std::string home;
  if (!resolved(probe.homeFolder, home)) home = probe.homeFolder;
  bool insideHome = !home.empty() && platform::isInsideFolder(folder, home);

  platform::VolumeInfo volume;
  if (!platform::volumeInfo(folder, volume, probe.volumes)) {
    // Nothing is known of the volume: only the home folder may pass the volume test, and the
    // folder's own query then fails.
    return fail(errorNumber, insideHome ? "7" : "3");
  }
  if (volume.network) return fail(errorNumber, "4");
  bool unsuitable =
      volume.unmountable || !volume.statsAvailable || volume.removable || volume.readOnly;
  if (unsuitable && !insideHome) return fail(errorNumber, "3");
  if (volume.immutable) return fail(errorNumber, "6");
  if (probe.isVolumeCaseSensitive && probe.isVolumeCaseSensitive(volume.mountPoint)) {
    return fail(errorNumber, "5");
  }
  if (folder == volume.mountPoint) return fail(errorNumber, "1");
  return true;
}

bool validateInstallLocation(const std::string& path, std::string& errorNumber,
                             const InstallLocationProbe& probe) {
  return path.empty() || isInstallableFile(path, errorNumber, probe);
}
