#include "foundation/files/FolderEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace files {
namespace {

struct DirClose {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool folderEntryNames(int folderFd, std::vector<std::string>& names, int& error) {
  // The stream takes over the descriptor it is given, so it gets a duplicate of the caller's.
  int copy = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return error = errno, false;
  std::unique_ptr<DIR, DirClose> stream(fdopendir(copy));
  if (!stream) {
    error = errno;
    close(copy);
    return false;
  }
  rewinddir(stream.get());
  names.clear();
  errno = 0;
  while (const dirent* entry = readdir(stream.get())) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) return error = errno, false;
  std::sort(names.begin(), names.end());
  return true;
}

}  // namespace files
