#include "platform/system/ConsoleUser.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/system/DeveloperOverrides.h"

namespace platform {
namespace {

bool parseUid(const char* text, uid_t& out) {
  if (!text || !*text) return false;
  unsigned long value = 0;
  const char* end = text + std::char_traits<char>::length(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || value >= static_cast<unsigned long>(uid_t(-1))) {
    return false;
  }
  out = static_cast<uid_t>(value);
  return true;
}

bool loginUid(uid_t& out) {
  std::ifstream file("/proc/self/loginuid");
  std::string text;
  return file >> text && parseUid(text.c_str(), out);
}

uid_t consoleUid() {
  uid_t uid;
  const std::optional<std::string> configured = developerOverride("WEND_CONSOLE_UID");
  if (configured && parseUid(configured->c_str(), uid)) return uid;
  if (geteuid() == 0 &&
      (parseUid(std::getenv("PKEXEC_UID"), uid) || parseUid(std::getenv("SUDO_UID"), uid))) {
    return uid;
  }
  if (loginUid(uid)) return uid;
  return getuid();
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string rootFolder() {
  return wendRoot().empty() ? "/" : wendRoot();
}

}  // namespace

std::string wendRoot() {
  std::string text = developerOverride("WEND_ROOT").value_or("");
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

std::string underRoot(const std::string& absolutePath) {
  return wendRoot() + absolutePath;
}

bool findUser(uid_t uid, ConsoleUser& out) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry;
  passwd* found = nullptr;
  while (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    if (buffer.size() > (1u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
  if (!found || !found->pw_dir || found->pw_dir[0] != '/') return false;
  out.uid = uid;
  out.gid = found->pw_gid;
  out.home = withoutTrailingSlashes(found->pw_dir);
  out.name = found->pw_name ? found->pw_name : "";
  return true;
}

// A private tree under WEND_ROOT may not hold the home yet: its parents are made as the system
// would have them, the home itself for the user.
bool ensureHome(const ConsoleUser& user) {
  std::string rootedHome = underRoot(user.home);
  if (isDirectory(rootedHome)) return true;
  std::string home = user.home.substr(1);
  size_t slash = home.rfind('/');
  if (slash != std::string::npos &&
      !createFoldersFor(rootFolder(), home.substr(0, slash), 0, 0, 0755)) {
    return false;
  }
  return createFoldersFor(rootFolder(), home, user.uid, user.gid, 0700);
}

bool findConsoleUser(ConsoleUser& out) {
  return findUser(consoleUid(), out);
}

UniqueFd openConsoleUserFolder(const char* xdgVariable, const std::string& belowHome,
                               const std::string& below, std::string& out) {
  ConsoleUser user;
  if (!findConsoleUser(user)) return UniqueFd();
  std::string folder = withoutTrailingSlashes(user.home + "/" + belowHome);
  const char* xdg = xdgVariable ? std::getenv(xdgVariable) : nullptr;
  if (user.uid == geteuid() && xdg && xdg[0] == '/') folder = withoutTrailingSlashes(xdg);

  // Walk from the home folder, so that a link at the home itself is honoured but none below it.
  std::string homePrefix = user.home == "/" ? "/" : user.home + "/";
  bool belowHomeFolder =
      folder.size() > homePrefix.size() && folder.compare(0, homePrefix.size(), homePrefix) == 0;
  const std::string tail = below.empty() ? "" : "/" + below;
  UniqueFd made;
  if (belowHomeFolder) {
    if (ensureHome(user)) {
      made = openFoldersFor(underRoot(user.home), folder.substr(homePrefix.size()) + tail, user.uid,
                            user.gid, 0700);
    }
  } else {
    made = openFoldersFor(rootFolder(), folder.substr(1) + tail, user.uid, user.gid, 0700);
  }
  if (made.valid()) out = underRoot(folder) + tail;
  return made;
}

bool consoleUserFolder(const char* xdgVariable, const std::string& belowHome, std::string& out) {
  return openConsoleUserFolder(xdgVariable, belowHome, "", out).valid();
}

bool consoleUserLogsFolder(std::string& out) {
  return consoleUserFolder("XDG_STATE_HOME", ".local/state", out);
}

UniqueFd openFolderInUserTree(const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  ConsoleUser user;
  if (!findConsoleUser(user) || user.uid == geteuid()) return UniqueFd(open(path.c_str(), kFlags));
  const std::string home = underRoot(user.home);
  const std::string prefix = home == "/" ? "/" : home + "/";
  if (path.compare(0, prefix.size(), prefix) != 0) return UniqueFd(open(path.c_str(), kFlags));
  UniqueFd folder(open(home.c_str(), kFlags));
  size_t start = prefix.size();
  while (folder.valid() && start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return errno = EINVAL, UniqueFd();
    folder = UniqueFd(openat(folder.get(), part.c_str(), kFlags | O_NOFOLLOW));
  }
  return folder;
}

bool makeConsoleUserLogFolder(const std::string& chain, std::string& out) {
  return openConsoleUserFolder("XDG_STATE_HOME", ".local/state", chain, out).valid();
}

}  // namespace platform
