#pragma once

#include <sys/types.h>

#include <string>

// The user at the screen, the private tree every special folder lives under, and folders created
// on that user's behalf. Nothing here switches the effective uid: that would change every thread.
namespace platform {

// WEND_ROOT without a trailing "/"; empty for "/" or when unset.
std::string wendRoot();
// wendRoot() followed by an absolute path.
std::string underRoot(const std::string& absolutePath);

struct ConsoleUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;  // as the user database gives it, without WEND_ROOT
};

// WEND_CONSOLE_UID if set; else, as root, PKEXEC_UID or SUDO_UID; else /proc/self/loginuid; else
// the real uid. False when the uid has no entry in the user database.
bool findConsoleUser(ConsoleUser& out);

// Creates every missing folder of the relative path `chain` below the existing folder `base`,
// walking by descriptor and never following a link below `base`. New folders get `mode` exactly
// and, when the process may, the given owner. Existing folders are kept as they are. A chain with
// an empty, "." or ".." component fails.
bool createFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                      mode_t mode);

// The console user's logs folder: their XDG state folder (XDG_STATE_HOME when this process runs as
// that user and sets it, else <home>/.local/state) under WEND_ROOT, created 0700 for the user.
bool consoleUserLogsFolder(std::string& out);

}  // namespace platform
