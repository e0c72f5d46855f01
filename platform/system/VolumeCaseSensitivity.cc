#include "platform/system/VolumeCaseSensitivity.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/system/MountTable.h"

namespace platform {
namespace {

bool isUnder(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

bool isVolumeCaseSensitive(const std::string& path, bool& caseSensitive) {
  std::vector<MountEntry> mounts;
  if (!MountTable::system().entries(mounts)) return false;
  const MountEntry* volume = nullptr;
  for (const MountEntry& entry : mounts) {
    // The longest mount point wins; of equal ones the later mount hides the earlier.
    if (isUnder(path, entry.mountPoint) &&
        (!volume || entry.mountPoint.size() >= volume->mountPoint.size())) {
      volume = &entry;
    }
  }
  if (!volume) return false;
  const char* listed = std::getenv("WEND_CASE_SENSITIVE_VOLUMES");
  std::istringstream names(listed ? listed : "");
  bool found = false;
  for (std::string name; std::getline(names, name, ':');) {
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    if (!name.empty() && name == volume->mountPoint) found = true;
  }
  caseSensitive = found;
  return true;
}

}  // namespace platform
