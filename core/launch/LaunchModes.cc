#include "core/launch/LaunchModes.h"

#include <limits.h>
#include <stdlib.h>

#include <cctype>

#include "core/launch/DesktopApp.h"
#include "core/launch/ProcessWatch.h"
#include "core/launch/ProductNotification.h"
#include "foundation/files/FileUtils.h"
#include "platform/processes/BundleLauncher.h"
#include "platform/processes/ToolRunner.h"

namespace {

constexpr int kTemporaryFolder = 15;
constexpr int kRunningProgramFolder = 16;

bool isUuidText(const std::string& name) {
  if (name.size() != 36) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? name[i] != '-' : !std::isxdigit(static_cast<unsigned char>(name[i]))) {
      return false;
    }
  }
  return true;
}

std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

}  // namespace

void unmountVolumeAfterParentExit(const std::string& volume, int pid,
                                  const LaunchSettings& settings) {
  if (pid == -1 || volume.empty()) return;
  waitForParentExit(pid, settings);
  const std::string path = volume.back() == '/' ? volume : volume + "/";
  pid_t detach = 0;
  platform::launchBundle(platform::toolPath(platform::Tool::kHdiutil), {"detach", path, "-quiet"},
                         detach);
}

void runProductQuitMode(const std::string& wendExp, int pid, const LaunchSettings& settings) {
  const bool tarn = wendExp == "tarn";
  const bool notification = wendExp == "notification";
  if (!tarn && !notification) return;
  if (pid != -1) waitForProductExit(pid, notification, settings);
  if (tarn) {
    launchDesktopAppAfterProductQuit(false);
  } else {
    showProductQuitNotification(settings);
  }
}

bool isRelaunchCopyFolder(const std::string& folder, const std::string& temporaryFolder) {
  const std::string copy = resolved(folder);
  const std::string temporary = resolved(temporaryFolder);
  if (copy.empty() || temporary.empty()) return false;
  std::string parent = copy;
  std::string name;
  FileUtils::getParentDirectory(parent);
  FileUtils::getLastPathComponent(copy, name);
  return parent == temporary && isUuidText(name);
}

void cleanupTempFolder() {
  std::string folder;
  std::string temporary;
  if (!FileUtils::getSpecialFolderPath(kRunningProgramFolder, folder) ||
      !FileUtils::getParentDirectory(folder) ||
      !FileUtils::getSpecialFolderPath(kTemporaryFolder, temporary) ||
      !isRelaunchCopyFolder(folder, temporary)) {
    return;
  }
  FileUtils::deleteDirectory(folder, true);
}
