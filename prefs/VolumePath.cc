#include "prefs/VolumePath.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace {

std::string parentOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool nearestExisting(std::string path, std::string& resolved) {
  for (;;) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) break;
    if (path == "/") return false;
    path = parentOf(path);
  }
  char buffer[PATH_MAX];
  if (!realpath(path.c_str(), buffer)) return false;
  resolved = buffer;
  return true;
}

bool holds(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return true;
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

bool util_getVolumePath(const std::string& path, std::string& volumePath,
                        const platform::MountTable& mounts) {
  std::string resolved;
  std::vector<platform::MountEntry> entries;
  if (path.empty() || path[0] != '/' || !nearestExisting(path, resolved) ||
      !mounts.entries(entries)) {
    return false;
  }
  const platform::MountEntry* best = nullptr;
  for (const platform::MountEntry& entry : entries) {
    if (holds(entry.mountPoint, resolved) &&
        (!best || entry.mountPoint.size() > best->mountPoint.size())) {
      best = &entry;
    }
  }
  if (!best) return false;
  volumePath = best->mountPoint;
  return true;
}
