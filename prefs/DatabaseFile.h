#pragma once

#include <sys/types.h>

#include <string>

#include "platform/system/ConsoleUser.h"

// The console user's "opm.db" in special folder 26: found, or created empty with mode 0600 for
// that user, by descriptor and never through a link. A path that is a link, not a regular file or
// not the user's is refused and left exactly as it is. No descriptor stays open once prepare
// returns: closing one later would drop the file locks SQLite holds on the same file. Stateless;
// callable from any thread.
namespace prefs {

class DatabaseFile {
 public:
  static constexpr const char* kFileName = "opm.db";

  // OPM_OK, or OPM_DATABASE with a short reason (no value ever) for the log.
  static int prepare(const platform::ConsoleUser& user, DatabaseFile& out, std::string& reason);

  const std::string& path() const { return path_; }
  // Whether the path still names the file that prepare checked (nothing was swapped in since).
  bool stillAtPath() const;

 private:
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace prefs
