#include "core/context/BundleResources.h"

#include "foundation/files/FileUtils.h"

namespace {

constexpr int kRunningProgramFolder = 16;

}  // namespace

std::string FolderBundleResources::programResourcesFolder() {
  std::string folder;
  if (!FileUtils::getSpecialFolderPath(kRunningProgramFolder, folder)) return "";
  FileUtils::appendPathComponent(folder, "Contents/Resources");
  return folder;
}

std::string FolderBundleResources::pathOf(const std::string& name, const std::string& type) const {
  std::string path = folder_;
  return FileUtils::appendPathComponent(path, name + "." + type) ? path : "";
}

bool FolderBundleResources::readResource(const std::string& name, const std::string& type,
                                         std::string& text) const {
  const std::string path = pathOf(name, type);
  return !path.empty() && FileUtils::readFileContents(path, text);
}

bool FolderBundleResources::hasResource(const std::string& name, const std::string& type) const {
  const std::string path = pathOf(name, type);
  return !path.empty() && FileUtils::fileExistsAtPath(path);
}
