#include "mediation/helper/HelperLocation.h"

#include <limits.h>
#include <stdlib.h>
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
  char real[PATH_MAX];
  if (!realpath(path.c_str(), real)) return false;
  std::string current = real;
  struct stat info;
  if (lstat(current.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !rootOnly(info)) {
    return false;
  }
  while (current != "/") {
    const size_t slash = current.rfind('/');
    current = slash == 0 ? "/" : current.substr(0, slash);
    if (lstat(current.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !rootOnly(info)) {
      return false;
    }
  }
  resolved = real;
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
