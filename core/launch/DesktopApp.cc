#include "core/launch/DesktopApp.h"

#include <vector>

#include "core/install/DesktopAppLaunch.h"
#include "core/launch/LaunchEvent.h"
#include "foundation/files/FileUtils.h"
#include "foundation/system/ProcessUtils.h"

namespace {

void openDesktopApp() {
  int ignored = 0;
  PandoUtils::ProcessUtils::launchApplication(desktopAppExecutablePath(), {}, false, ignored, true);
}

}  // namespace

std::string desktopAppExecutablePath() {
  return DesktopAppLaunch::installedExecutablePath();
}

void launchDesktopAppAfterProductQuit(bool fromNotificationClick) {
  openDesktopApp();
  sendLaunchEvent(fromNotificationClick ? "lbs-brann-launch-notificationClick"
                                        : "lbs-brann-launch-productQuit");
}
