#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/context/ContextParts.h"

// The installer runs from a mounted disk image it cannot detach itself. Once the desktop
// application is launched it copies its bundle to a fresh folder below the temporary folder and
// starts that copy, which waits for this process to end and detaches the image, and, for the
// "tarn" and "notification" experiments, follows the desktop application's end (LaunchModes.h).
//
// Threads: the workflow thread. The applet host outlives the object. Failures are only logged;
// the disk image then stays mounted.
struct RelaunchInputs {
  std::string mountPath;      // the disk image's mount path; empty when not run from one
  std::string wendExp;        // the configured experiment, "default" when none
  std::string bundlePath;     // the running bundle; "" for special folder 16
  std::string temporaryRoot;  // where the copy's folder is made; "" for special folder 15
  IAppletMessageManager* applets = nullptr;  // knows the desktop application's executable
  int selfPid = -1;
  // Starts the copy's executable; true when it started. The product's launcher by default.
  std::function<bool(const std::string& path, const std::vector<std::string>& arguments)> launch;
};

class RelaunchCopy {
 public:
  explicit RelaunchCopy(RelaunchInputs inputs);

  // Builds the arguments, makes the copy and starts it; nothing when there is nothing to pass.
  void relaunchFromTempLocation();
  // "--volumeName=", "--parentPID=" when the mount path is known; "--productPID=", "--wendExp="
  // for "tarn" and "notification" with the desktop application running. True when any was added.
  bool buildRelaunchArguments(std::vector<std::string>& arguments);
  // "<temporary root>/<UUID>/<bundle name>/Contents/MacOS/Install", or "" on failure. The UUID
  // folder is made fresh, 0700, and removed again when the copy fails.
  std::string copyAppToTempLocation();
  // The process whose name and executable are the desktop application's; -1 when none runs.
  int findProductProcessId();

 private:
  RelaunchInputs inputs_;
};
