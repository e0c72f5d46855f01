#include "mediation/helper/HelperLocation.h"

#include <sys/stat.h>

#include "foundation/files/FileUtils.h"
#include "foundation/logging/LogCallback.h"

namespace mediation {
namespace {

constexpr char kComponent[] = "InstallHelperInterface";
constexpr int kBundleParentFolder = 17;
constexpr int kSharedComponentsFolder = 29;

class SystemHelperFolders final : public IHelperFolders {
 public:
  bool programParentFolder(std::string& path) const override {
    return FileUtils::getSpecialFolderPath(kBundleParentFolder, path) &&
           FileUtils::getParentDirectory(path);
  }
  bool sharedComponentsFolder(std::string& path) const override {
    return FileUtils::getSpecialFolderPath(kSharedComponentsFolder, path);
  }
};

std::string helperIn(const std::string& folder) {
  std::string path = folder;
  FileUtils::appendPathComponent(path, "ElevationManager");
  FileUtils::appendPathComponent(path, "Orvel Installer");
  return path;
}

bool rootOnly(const struct stat& info) {
  const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return info.st_uid == 0 && (!othersWrite || (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)));
}

}  // namespace

std::unique_ptr<IHelperFolders> systemHelperFolders() {
  return std::make_unique<SystemHelperFolders>();
}

bool safeForRoot(const std::string& path, std::string& resolved) {
  if (path.empty() || path[0] != '/') return false;
  // Each folder from the top down, then the file, exactly as named: a link or a "." or ".."
  // would let the meaning of a later component depend on something this walk did not check.
  std::string current;
  struct stat info;
  if (lstat("/", &info) != 0 || !S_ISDIR(info.st_mode) || !rootOnly(info)) return false;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    if (component == "." || component == "..") return false;
    current += "/" + component;
    const bool last = end == path.size();
    if (lstat(current.c_str(), &info) != 0 || !rootOnly(info)) return false;
    if (last ? !S_ISREG(info.st_mode) : !S_ISDIR(info.st_mode)) return false;
  }
  if (current.empty()) return false;
  resolved = current;
  return true;
}

HelperLocation findInstallHelper(const IHelperFolders& folders, bool asRoot) {
  HelperLocation location;
  bool (IHelperFolders::*const lookups[])(std::string&)
      const = {&IHelperFolders::programParentFolder, &IHelperFolders::sharedComponentsFolder};
  for (auto lookup : lookups) {
    std::string folder;
    if (!(folders.*lookup)(folder)) continue;
    location.path = helperIn(folder);
    if (!FileUtils::fileExistsAtPath(location.path)) continue;
    if (!asRoot) {
      location.startPath = location.path;
    } else if (!safeForRoot(location.path, location.startPath)) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                  "Install Helper at '%s' may be changed by users other than root; skipped",
                  location.path.c_str());
      continue;
    }
    location.found = true;
    return location;
  }
  return location;
}

}  // namespace mediation
