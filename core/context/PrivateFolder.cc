#include "core/context/PrivateFolder.h"

#include <sys/stat.h>

#include "foundation/files/FileUtils.h"

bool makePrivateFolder(const std::string& parent, const std::string& name, std::string& path) {
  std::string folder = parent;
  if (name.find('/') != std::string::npos || name == "." || name == ".." ||
      !FileUtils::appendPathComponent(folder, name)) {
    return false;
  }
  // The umask can only take bits away from 0700; a later chmod would act on whatever the path
  // names by then.
  if (mkdir(folder.c_str(), 0700) != 0) return false;
  path = folder;
  return true;
}
