#pragma once

#include <sys/types.h>

#include <string>

#include "platform/files/FolderChain.h"

// The user at the screen, the private tree every special folder lives under, and folders created
// on that user's behalf. Nothing here switches the effective uid: that would change every thread.
// Stateless apart from the environment it reads; callable from any thread.
namespace platform {

// WEND_ROOT without a trailing "/"; empty for "/" or when unset.
std::string wendRoot();
// wendRoot() followed by an absolute path.
std::string underRoot(const std::string& absolutePath);

struct ConsoleUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;  // as the user database gives it, without WEND_ROOT
  std::string name;  // the login name
};

// The user database's entry for `uid`; false when there is none or its home is not absolute.
bool findUser(uid_t uid, ConsoleUser& out);

// The user's home under WEND_ROOT, created for them (0700, its missing parents root's, 0755) when
// it is not there.
bool ensureHome(const ConsoleUser& user);

// WEND_CONSOLE_UID if set; else, as root, PKEXEC_UID or SUDO_UID; else /proc/self/loginuid; else
// the real uid. False when the uid has no entry in the user database.
bool findConsoleUser(ConsoleUser& out);

// A folder of the console user under WEND_ROOT, created 0700 for them when missing: the value of
// `xdgVariable` when this process runs as that user and sets it to an absolute path, else
// <home>/<belowHome>. A missing home is made too (its parents root's, 0755). `xdgVariable` may be
// null. On failure `out` is unchanged.
bool consoleUserFolder(const char* xdgVariable, const std::string& belowHome, std::string& out);

// consoleUserFolder continued down the relative path `below` (missing folders made for the user,
// 0700) and handed back open: every folder below the home (or below "/" for an XDG folder
// outside it) is reached by descriptor, never through a link, so that root can work in it
// relative to the descriptor. `out` receives its path. Invalid on failure, `out` then unchanged.
UniqueFd openConsoleUserFolder(const char* xdgVariable, const std::string& belowHome,
                               const std::string& below, std::string& out);

// The console user's logs folder: their XDG state folder (XDG_STATE_HOME when this process runs as
// that user and sets it, else <home>/.local/state) under WEND_ROOT, created 0700 for the user.
bool consoleUserLogsFolder(std::string& out);

// Opens the existing folder at the absolute `path` (O_DIRECTORY). When it lies below the console
// user's home and this process runs as another user (an elevated copy), the home is opened as
// the user database gives it and every folder below it without following a link (ELOOP), so
// that a link the user planted cannot send the caller's work elsewhere; the user's own process
// follows their links as usual. Invalid with errno set on failure.
UniqueFd openFolderInUserTree(const std::string& path);

// The one maker of log folders: the relative `chain` below the console user's logs folder (for
// example "Skyloom/Tarn"), every missing folder made for the user, 0700, by descriptor and never
// through a link, whichever user runs. `out` receives its path; unchanged on failure.
bool makeConsoleUserLogFolder(const std::string& chain, std::string& out);

}  // namespace platform
