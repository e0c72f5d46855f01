#pragma once

#include <memory>
#include <string>

// Where the install helper executable is looked for: "ElevationManager/Orvel Installer" in the
// parent of the folder that holds the running program, else in the shared desktop-components
// folder. As root a location counts only when nobody but root could have put or changed the file
// there. Any thread; the lookups touch only the file system.
namespace mediation {

// The two folders the helper is looked for in; tests replace them.
class IHelperFolders {
 public:
  virtual ~IHelperFolders() = default;
  // The parent of the folder holding the running program. False when unknown.
  virtual bool programParentFolder(std::string& path) const = 0;
  // The shared desktop-components folder. False when unknown.
  virtual bool sharedComponentsFolder(std::string& path) const = 0;
};

// The special folders 17 (its parent) and 29.
std::unique_ptr<IHelperFolders> systemHelperFolders();

struct HelperLocation {
  bool found = false;
  std::string path;       // the location used, else the last one looked at (for the log)
  std::string startPath;  // what to start: `path` (as root, checked component by component)
};

// Looks in both folders in order. As root (`asRoot`), a location that safeForRoot refuses is
// skipped with a warning that names it.
HelperLocation findInstallHelper(const IHelperFolders& folders, bool asRoot);

// Whether root may start the file at `path`: an absolute path of which no component is a link,
// ".", or "..", naming a regular file; it and every folder above it belong to root and are not
// writable by group or others (a sticky folder excepted). `resolved` receives the path checked.
bool safeForRoot(const std::string& path, std::string& resolved);

}  // namespace mediation
