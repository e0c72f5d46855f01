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

bool FolderBundleResources::readResource(const std::string& name, const std::string& type,
                                         std::string& text) const {
  std::string path = folder_;
  if (!FileUtils::appendPathComponent(path, name + "." + type)) return false;
  return FileUtils::readFileContents(path, text);
}
