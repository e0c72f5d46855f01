#include "core/context/CapsMarker.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "foundation/files/FileUtils.h"
#include "foundation/logging/LogCallback.h"

namespace {

constexpr char kComponent[] = "ApplicationContext";
constexpr int kProductSupportFolder = 18;

}  // namespace

void touchCapsMarker() {
  std::string folder;
  if (!FileUtils::getSpecialFolderPath(kProductSupportFolder, folder)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Failed to get Fenn path.");
    return;
  }
  FileUtils::appendPathComponent(folder, "caps");
  std::string file = folder;
  FileUtils::appendPathComponent(file, "caps.db");
  struct stat info;
  if (lstat(file.c_str(), &info) == 0) {
    // A link there is touched itself, never what it points at.
    if (utimensat(AT_FDCWD, file.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                  "Failed to change modified datetime of caps.db at path: %s", file.c_str());
    }
    return;
  }
  if (!FileUtils::createDirectoryAtPath(folder)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Failed to create caps directory at path: %s", folder.c_str());
  }
  if (!FileUtils::CreateFileWithContentAtPath(file, "")) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Failed to create caps.db at path: %s", file.c_str());
  }
}
