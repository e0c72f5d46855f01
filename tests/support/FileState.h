#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// What a path holds, taken without following a link, so a test can show that nothing changed.
struct FileState {
  bool exists = false;
  uid_t owner = 0;
  mode_t mode = 0;
  std::string bytes;   // a regular file's content
  std::string target;  // a link's target

  bool operator==(const FileState&) const = default;
};

inline FileState fileState(const std::string& path) {
  FileState state;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return state;
  state = {true, info.st_uid, static_cast<mode_t>(info.st_mode & 07777), {}, {}};
  if (S_ISREG(info.st_mode)) state.bytes = readFile(path);
  if (S_ISLNK(info.st_mode)) {
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length > 0) state.target.assign(target, static_cast<size_t>(length));
  }
  return state;
}

}  // namespace wendtest
