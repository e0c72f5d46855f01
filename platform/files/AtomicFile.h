#pragma once

#include <sys/types.h>

#include <string>

// Whole-file replacement that a reader never sees half done. Callable from any thread; nothing is
// kept open between calls.
namespace platform {

// The permissions the written file gets.
enum class AtomicFileMode {
  kCreationDefault,       // as any newly created file: 0666 less the process's umask
  kKeepReplacedElse0644,  // the mode of the regular file it replaces, else 0644
};

// Writes `bytes` to a new hidden file beside `path` (short-named whatever the name's length,
// created exclusively, never through a link), flushes it to disk and renames it over `path`, so a
// reader sees the old file or the new one, never a part. A symbolic link at `path` is replaced,
// not followed; an elevated copy reaches a folder in the console user's home without following
// their links (ConsoleUser.h, openFolderInUserTree). False for "", ".", "..", a missing folder or a
// failed write; the temporary file is then removed.
bool replaceFileAtomically(const std::string& path, const std::string& bytes, AtomicFileMode mode);

// Permissions and owner the new file gets through its descriptor before it takes the name, so
// the file is never visible with other ones.
struct AtomicFileOwnership {
  mode_t mode;
  uid_t uid;
  gid_t gid;
};

// The same replacement, the new file given exactly `ownership`; false when it cannot be set.
bool replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const AtomicFileOwnership& ownership);

}  // namespace platform
