#include "platform/ConsoleUser.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

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
  if (parseUid(std::getenv("WEND_CONSOLE_UID"), uid)) return uid;
  if (geteuid() == 0 &&
      (parseUid(std::getenv("PKEXEC_UID"), uid) || parseUid(std::getenv("SUDO_UID"), uid))) {
    return uid;
  }
  if (loginUid(uid)) return uid;
  return getuid();
}

std::vector<std::string> splitChain(const std::string& chain) {
  std::vector<std::string> parts;
  std::stringstream stream(chain);
  for (std::string part; std::getline(stream, part, '/');) parts.push_back(part);
  return parts;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string wendRoot() {
  const char* root = std::getenv("WEND_ROOT");
  std::string text = root ? root : "";
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

std::string underRoot(const std::string& absolutePath) { return wendRoot() + absolutePath; }

bool findConsoleUser(ConsoleUser& out) {
  uid_t uid = consoleUid();
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
  out.home = found->pw_dir;
  return true;
}

bool createFoldersFor(const std::string& base, const std::string& chain, uid_t uid, gid_t gid,
                      mode_t mode) {
  Fd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return false;
  for (const std::string& part : splitChain(chain)) {
    if (part.empty() || part == "." || part == "..") return false;
    bool created = mkdirat(dir.get(), part.c_str(), mode) == 0;
    if (!created && errno != EEXIST) return false;
    int child = openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) return false;
    dir.reset(child);
    if (!created) continue;
    // Ownership first, then the mode: mkdirat's mode was cut by the umask.
    if (geteuid() == 0 && fchown(dir.get(), uid, gid) != 0) return false;
    if (fchmod(dir.get(), mode) != 0) return false;
  }
  return true;
}

bool consoleUserLogsFolder(std::string& out) {
  ConsoleUser user;
  if (!findConsoleUser(user)) return false;
  std::string state = user.home + "/.local/state";
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (user.uid == geteuid() && xdg && xdg[0] == '/') state = xdg;
  while (state.size() > 1 && state.back() == '/') state.pop_back();

  // Walk from the home folder when it exists, so a link at the home itself is honoured but none
  // below it; a private tree under WEND_ROOT may not hold the home yet.
  std::string rootedHome = underRoot(user.home);
  bool belowHome = state.compare(0, user.home.size() + 1, user.home + "/") == 0;
  bool made = belowHome && isDirectory(rootedHome)
                  ? createFoldersFor(rootedHome, state.substr(user.home.size() + 1), user.uid,
                                     user.gid, 0700)
                  : createFoldersFor(wendRoot().empty() ? "/" : wendRoot(), state.substr(1),
                                     user.uid, user.gid, 0700);
  if (!made) return false;
  out = underRoot(state);
  return true;
}

}  // namespace platform
