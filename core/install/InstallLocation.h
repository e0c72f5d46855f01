#pragma once

#include <functional>
#include <string>

#include "platform/system/VolumeInfo.h"

// Whether a folder can take the installation, and when not, the number the workflow turns into a
// path alert:
//   "1" the folder is the root of its volume
//   "3" a removable, read-only or ejectable volume, or one the system cannot describe, and the
//       folder is not inside the user's home folder
//   "4" a network volume
//   "5" a case-sensitive volume
//   "6" the folder is locked
//   "7" no such folder, not a folder, a package, or a query failed
// Paths are resolved (links, "." and "..") before any test. Stateless; callable from any thread.
// The folder chooser checks the folder picked; the product installation checks the folder the user
// retries with.

struct InstallLocationProbe {
  platform::VolumeProbe volumes;
  std::string homeFolder;  // the console user's home
  // Asked with the volume's mount point; null: no volume is case-sensitive.
  std::function<bool(const std::string& volumePath)> isVolumeCaseSensitive;
};

// The running system's: its mount table, the console user's home under WEND_ROOT ("" when there
// is no console user) and the platform's case-sensitivity answer.
InstallLocationProbe systemInstallLocationProbe();

// True when the folder passes every test; otherwise false with `errorNumber` set. On success
// `errorNumber` is left as it was.
bool isInstallableFile(const std::string& path, std::string& errorNumber,
                       const InstallLocationProbe& probe);

// True at once for an empty path; otherwise isInstallableFile.
bool validateInstallLocation(const std::string& path, std::string& errorNumber,
                             const InstallLocationProbe& probe);

// True for an existing folder that is not a package (a folder named "*.app"): what the folder
// chooser shows and accepts.
bool restrictFileOrPackage(const std::string& path);
