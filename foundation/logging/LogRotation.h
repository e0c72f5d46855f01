#pragma once

#include <cstdint>
#include <string>

namespace pando {

// Rotation of a log file that has reached 10 MiB: its content is copied to a time-stamped file
// beside it and the log is emptied in place, so it keeps its name and inode and the descriptors
// of other processes stay valid. Copies are never deleted. The caller holds the file's lock.
class LogRotation {
 public:
  static constexpr int64_t kRotateSize = 0xA00000;  // 10,485,760 bytes

  // False when the size cannot be read; `due` tells whether the file has reached kRotateSize.
  static bool isDue(const std::string& path, bool& due);
  // "<path without extension> <%m-%d-%Y %H-%M-%S of timeMs, local time><extension>".
  static std::string rotatedPath(const std::string& path, int64_t timeMs);
  // Copies `path` into `rotated` (in the same folder), which must not exist yet and is never
  // reached through a link, then truncates `path`; the folder is reached as
  // platform::openFolderInUserTree does. A failed copy leaves the log as it was and no partial copy
  // behind.
  static bool copyAndTruncate(const std::string& path, const std::string& rotated);
};

}  // namespace pando
