// Linked into the test programs that run the installer on the product's own lock key ("/tmp"):
// before main, and so before any thread, the program moves into an IPC namespace and a mount
// namespace of its own, with a fresh /tmp. The installer's System V locks, its named pipes and
// its temporary folders are then this program's alone: another installer on the machine (a
// second test run, the demo) neither holds its locks nor sees its channels, and a check that a
// run left nothing in /tmp sees only what this program made. The display's socket folder is
// carried over into the new /tmp, and so are the source and build trees, and the working folder,
// when they lie in the machine's /tmp (a checkout made with mktemp -d). Where the kernel refuses
// (no administrator rights, a confined container), the program runs on the machine's shared ones,
// as before.
#include "tests/support/PrivateMachine.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/threads/ProcessSemaphore.h"
#include "tests/support/ChildEntry.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/SelfAsChild.h"

namespace {

constexpr char kTmp[] = "/tmp/";
constexpr char kDisplaySockets[] = "/tmp/.X11-unix";
// The program's parent, in whose namespaces the program started: set once the program has its
// own, so that a child it starts of itself shares them, and the /tmp they agree on.
constexpr char kOuterPid[] = "WEND_TESTS_OUTSIDE_PID";
constexpr char kHoldRole[] = "--hold-machine-lock";

// A folder of the machine's /tmp, held open while a fresh /tmp is mounted over it, then bound at
// its old name in the new one.
struct CarriedFolder {
  std::string path;
  int descriptor;
};

// The entry of the machine's /tmp that holds `path`; "" for a path elsewhere.
std::string tmpEntryHolding(const std::string& path) {
  if (path.rfind(kTmp, 0) != 0) return "";
  const size_t end = path.find('/', sizeof kTmp - 1);
  const std::string entry = path.substr(0, end);
  return entry.size() > sizeof kTmp - 1 ? entry : "";
}

// The folders of the machine's /tmp that the program needs on: the display's sockets, and where
// it was built, was built from and runs.
std::vector<CarriedFolder> foldersToCarryOver() {
  std::error_code unknown;
  std::vector<std::string> paths = {kDisplaySockets, tmpEntryHolding(WEND_SOURCE_DIR),
                                    tmpEntryHolding(WEND_BINARY_DIR),
                                    tmpEntryHolding(std::filesystem::current_path(unknown))};
  std::vector<CarriedFolder> folders;
  for (const std::string& path : paths) {
    bool known = path.empty();
    for (const CarriedFolder& folder : folders) known = known || folder.path == path;
    if (known) continue;
    const int descriptor = open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor >= 0) folders.push_back({path, descriptor});
  }
  return folders;
}

void carryOver(const std::vector<CarriedFolder>& folders, bool mounted) {
  for (const CarriedFolder& folder : folders) {
    if (mounted) {
      mkdir(folder.path.c_str(), 0700);
      const std::string source = "/proc/self/fd/" + std::to_string(folder.descriptor);
      mount(source.c_str(), folder.path.c_str(), nullptr, MS_BIND, nullptr);
    }
    close(folder.descriptor);
  }
}

void enterPrivateNamespaces() {
  if (unshare(CLONE_NEWIPC | CLONE_NEWNS) != 0) return;
  // Nothing mounted here may reach the machine's own namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  const std::vector<CarriedFolder> folders = foldersToCarryOver();
  carryOver(folders, mount("wend-tests", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0);
}

bool joinNamespaces(const std::string& pid) {
  for (const char* kind : {"ipc", "mnt"}) {
    const int ns = open(("/proc/" + pid + "/ns/" + kind).c_str(), O_RDONLY | O_CLOEXEC);
    const bool joined = ns >= 0 && setns(ns, 0) == 0;
    if (ns >= 0) close(ns);
    if (!joined) return false;
  }
  return true;
}

// The holder's role: takes the lock where the program started, says so on descriptor 3, and
// keeps it until killed. A lock another installer there already holds (a second test run on the
// machine) serves as well.
[[noreturn]] void holdMachineLock(int projectId, const std::string& outerPid) {
  pando::ProcessSemaphore lock(projectId);
  const bool held = joinNamespaces(outerPid) && (lock.acquire() || lock.isLocked());
  const char taken = held ? 'y' : 'n';
  if (write(3, &taken, 1) != 1 || taken != 'y') _exit(1);
  for (;;) pause();
}

void enterPrivateMachine(int argc, char** argv, char**) {
  const char* outerPid = getenv(kOuterPid);
  if (argc == 3 && std::strcmp(argv[1], kHoldRole) == 0 && outerPid != nullptr)
    holdMachineLock(std::atoi(argv[2]), outerPid);
  if (outerPid != nullptr) return;
  setenv(kOuterPid, std::to_string(getppid()).c_str(), 1);
  enterPrivateNamespaces();
}

}  // namespace

WEND_CHILD_ENTRY(enterPrivateMachine);

namespace wendtest {

bool inPrivateMachine() {
  const char* outerPid = getenv(kOuterPid);
  struct stat own {
  }, outer{};
  return outerPid != nullptr && stat("/proc/self/ns/ipc", &own) == 0 &&
         stat(("/proc/" + std::string(outerPid) + "/ns/ipc").c_str(), &outer) == 0 &&
         own.st_ino != outer.st_ino;
}

MachineLockHolder::MachineLockHolder(int projectId) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return;
  pid_ = startSelf({kHoldRole, std::to_string(projectId)}, report[1]);
  close(report[1]);
  char taken = 'n';
  holding_ = pid_ > 0 && read(report[0], &taken, 1) == 1 && taken == 'y';
  close(report[0]);
}

MachineLockHolder::~MachineLockHolder() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitChild(pid_);
}

}  // namespace wendtest
