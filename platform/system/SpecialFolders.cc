#include "platform/system/SpecialFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <iterator>

#include "platform/system/ConsoleUser.h"

namespace platform {
namespace {

enum class Base {
  kNone,
  kMachine,       // `location` below WEND_ROOT, created for root
  kUserHome,      // the effective user's home
  kConsoleUser,   // `location` below the console user's home, or `xdgVariable`
  kProgram,       // the running program
  kProgramFolder  // the folder that holds it
};

struct Folder {
  Base base;
  const char* location;
  const char* suffix;
  const char* xdgVariable = nullptr;
  mode_t mode = 0755;
};

constexpr char kMachineSupport[] = "/var/lib";
constexpr char kSharedData[] = "/var/lib/shared";
constexpr char kUtilities[] = "/opt/Utilities";
constexpr char kUserData[] = ".local/share";
constexpr char kData[] = "XDG_DATA_HOME";
constexpr mode_t kSharedMode = 01777;  // like /tmp: all may write, none may remove another's files

const Folder kFolders[] = {
    /* 0 */ {Base::kMachine, "/opt", ""},
    /* 1 */ {Base::kNone, "", ""},
    /* 2 */ {Base::kMachine, kMachineSupport, ""},
    /* 3 */ {Base::kMachine, kMachineSupport, ""},
    /* 4 */ {Base::kNone, "", ""},
    /* 5 */ {Base::kNone, "", ""},
    /* 6 */ {Base::kNone, "", ""},
    /* 7 */ {Base::kNone, "", ""},
    /* 8 */ {Base::kNone, "", ""},
    /* 9 */ {Base::kUserHome, "", ""},
    /* 10 */ {Base::kConsoleUser, "Documents", ""},
    /* 11 */ {Base::kNone, "", ""},
    /* 12 */ {Base::kConsoleUser, kUserData, "", kData},
    /* 13 */ {Base::kMachine, kSharedData, "", nullptr, kSharedMode},
    /* 14 */ {Base::kNone, "", ""},
    /* 15 */ {Base::kMachine, "/tmp", "", nullptr, kSharedMode},
    /* 16 */ {Base::kProgram, "", ""},
    /* 17 */ {Base::kProgramFolder, "", ""},
    /* 18 */ {Base::kMachine, kMachineSupport, "/Orvel"},
    /* 19 */ {Base::kConsoleUser, kUserData, "/Orvel", kData},
    /* 20 */ {Base::kMachine, kSharedData, "/Orvel", nullptr, kSharedMode},
    /* 21 */ {Base::kMachine, kMachineSupport, "/Orvel/PANDO"},
    /* 22 */ {Base::kConsoleUser, kUserData, "/Orvel/PANDO", kData},
    /* 23 */ {Base::kMachine, kSharedData, "/Orvel/PANDO", nullptr, kSharedMode},
    /* 24 */ {Base::kMachine, kUtilities, "/Quarry/"},
    /* 25 */ {Base::kMachine, kMachineSupport, "/Orvel/PANDO/Fallow"},
    /* 26 */ {Base::kConsoleUser, kUserData, "/Orvel/PANDO/Fallow", kData},
    /* 27 */ {Base::kMachine, kMachineSupport, "/Orvel/Quarry/QuarryRefs"},
    /* 28 */ {Base::kMachine, kMachineSupport, "/Orvel/HearthRefs"},
    /* 29 */ {Base::kMachine, kMachineSupport, "/Orvel/Hearth"},
    /* 30 */ {Base::kMachine, kUtilities, "/Orvel Skyloom/"},
    /* 31 */ {Base::kMachine, "/etc", ""},
    /* 32 */ {Base::kConsoleUser, ".local/state", "", "XDG_STATE_HOME"},
};

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A machine folder and its missing parents, made as the system would: parents 0755, the folder
// itself with its own mode, all root's.
bool machineFolder(const char* location, mode_t mode, std::string& out) {
  std::string root = wendRoot().empty() ? "/" : wendRoot();
  std::string chain = std::string(location).substr(1);
  std::string parent = parentOf(chain);
  if (parent != "." && !createFoldersFor(root, parent, 0, 0, 0755)) return false;
  if (!createFoldersFor(root, chain, 0, 0, mode)) return false;
  out = underRoot(location);
  return true;
}

bool userHome(std::string& out) {
  ConsoleUser user;
  if (!findUser(geteuid(), user) || !ensureHome(user)) return false;
  out = underRoot(user.home);
  return true;
}

bool runningProgram(std::string& out) {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
  out = programBundlePath(std::string(buffer, static_cast<size_t>(length)));
  return true;
}

bool baseFolder(const Folder& folder, std::string& out) {
  switch (folder.base) {
    case Base::kNone:
      return false;
    case Base::kMachine:
      return machineFolder(folder.location, folder.mode, out);
    case Base::kUserHome:
      return userHome(out);
    case Base::kConsoleUser:
      return consoleUserFolder(folder.xdgVariable, folder.location, out);
    case Base::kProgram:
      return runningProgram(out);
    case Base::kProgramFolder:
      if (!runningProgram(out)) return false;
      out = parentOf(out);
      return true;
  }
  return false;
}

}  // namespace

bool specialFolderPath(int id, std::string& out) {
  if (id < 0 || static_cast<size_t>(id) >= std::size(kFolders)) return false;
  const Folder& folder = kFolders[id];
  std::string path;
  if (!baseFolder(folder, path)) return false;
  out = path + folder.suffix;
  return true;
}

UniqueFd openSpecialFolder(int id, const std::string& below, std::string& out) {
  if (id < 0 || static_cast<size_t>(id) >= std::size(kFolders)) return UniqueFd();
  const Folder& folder = kFolders[id];
  if (folder.base != Base::kConsoleUser) return UniqueFd();
  std::string chain = std::string(folder.suffix);
  if (!chain.empty() && chain.front() == '/') chain.erase(0, 1);
  if (!below.empty()) chain += (chain.empty() ? "" : "/") + below;
  return openConsoleUserFolder(folder.xdgVariable, folder.location, chain, out);
}

std::string programBundlePath(const std::string& executable) {
  std::string macOS = parentOf(executable);
  std::string contents = parentOf(macOS);
  std::string bundle = parentOf(contents);
  bool inBundle = lastComponent(macOS) == "MacOS" && lastComponent(contents) == "Contents" &&
                  endsWith(bundle, ".app") && lastComponent(bundle) != ".app";
  return inBundle ? bundle : executable;
}

}  // namespace platform
