#pragma once

#include <string>

#include "core/launch/LaunchSettings.h"

// The helper launch modes that the relaunch from a temporary copy starts: unmounting the disk
// image once the parent has quit, and following a product's end with the desktop application or
// a notification. They run on the main thread, after the context is initialised.

// Once process `pid` has ended, starts "hdiutil detach <volume>/ -quiet" without waiting for it.
// Nothing happens for pid -1 or an empty volume.
void unmountVolumeAfterParentExit(const std::string& volume, int pid,
                                  const LaunchSettings& settings);

// `wendExp` "tarn": once the product has ended, opens the desktop application; "notification":
// once it has ended, or after the notification's limit of checks, asks for the notification. Any
// other text, compared exactly, does nothing. pid -1 does not wait.
void runProductQuitMode(const std::string& wendExp, int pid, const LaunchSettings& settings);

// Removes the folder that holds the running application bundle, but only when it is the
// relaunch's copy: a direct child of the temporary folder named as a UUID. Anything else, such as
// a downloads folder the user ran the installer from, stays. Failures are not reported.
void cleanupTempFolder();

// Whether `folder` is a direct child of `temporaryFolder` with a UUID as its name (36 hexadecimal
// digits and hyphens in groups 8-4-4-4-12). Both are resolved before they are compared.
bool isRelaunchCopyFolder(const std::string& folder, const std::string& temporaryFolder);
