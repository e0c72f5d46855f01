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
