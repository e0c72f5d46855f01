#pragma once

#include <string>

// The installed desktop application, Tarn. Stateless; any thread.

// "<desktop-application folder>/Tarn/Skyloom.app/Contents/MacOS/Skyloom"; "" when the folder
// cannot be found.
std::string desktopAppExecutablePath();

// Opens the desktop application as an application, without arguments and without waiting, and
// sends "lbs-brann-launch-notificationClick" when a click on the notification asked for it,
// "lbs-brann-launch-productQuit" otherwise.
void launchDesktopAppAfterProductQuit(bool fromNotificationClick);

// The start-up launch of an application that is already installed. It stands in for the
// workflow manager's own, which adds the product information and workflow ids: until that comes,
// the application is opened without arguments.
void launchInstalledDesktopApp();
