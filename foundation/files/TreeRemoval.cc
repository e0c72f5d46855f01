#include "foundation/files/TreeRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/files/FolderEntries.h"
#include "foundation/files/PathText.h"
#include "platform/UniqueFd.h"

namespace files {
namespace {

bool emptyFolder(int folderFd, int& error) {
  std::vector<std::string> names;
  if (!folderEntryNames(folderFd, names, error)) return false;
  for (const std::string& name : names) {
    if (!removeEntryAt(folderFd, name, error)) return false;
  }
  return true;
}

}  // namespace

bool removeEntryAt(int folderFd, const std::string& name, int& error) {
  struct stat info;
  if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return error = errno, false;
  if (S_ISDIR(info.st_mode)) {
    platform::UniqueFd child(
        openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.valid()) return error = errno, false;
    if (!emptyFolder(child.get(), error)) return false;
  }
  if (unlinkat(folderFd, name.c_str(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) != 0) {
    return error = errno, false;
  }
  return true;
}

bool removeItem(const std::string& path, int& error) {
  std::string name = baseName(path);
  if (name.empty() || name == "/" || name == "." || name == "..") return error = EINVAL, false;
  platform::UniqueFd folder(open(dirName(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return error = errno, false;
  return removeEntryAt(folder.get(), name, error);
}

}  // namespace files
