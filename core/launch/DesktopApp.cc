#include "core/launch/DesktopApp.h"

#include <vector>

#include "core/launch/LaunchEvent.h"
#include "foundation/files/FileUtils.h"
#include "foundation/system/ProcessUtils.h"

namespace {

constexpr int kDesktopAppFolder = 30;

void openDesktopApp() {
  int ignored = 0;
  PandoUtils::ProcessUtils::launchApplication(desktopAppExecutablePath(), {}, false, ignored, true);
}

}  // namespace

std::string desktopAppExecutablePath() {
  std::string path;
  if (!FileUtils::getSpecialFolderPath(kDesktopAppFolder, path)) return "";
  FileUtils::appendPathComponent(path, "Tarn");
  FileUtils::appendPathComponent(path, "Skyloom.app/Contents/MacOS/Skyloom");
  return path;
}

void launchDesktopAppAfterProductQuit(bool fromNotificationClick) {
  openDesktopApp();
  sendLaunchEvent(fromNotificationClick ? "lbs-brann-launch-notificationClick"
                                        : "lbs-brann-launch-productQuit");
}

void launchInstalledDesktopApp() {
  openDesktopApp();
}
