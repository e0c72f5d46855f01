// Linked into the test programs that run the installer on the product's own lock key ("/tmp"):
// before main, and so before any thread, the program moves into an IPC namespace and a mount
// namespace of its own, with a fresh /tmp. The installer's System V locks, its named pipes and
// its temporary folders are then this program's alone: another installer on the machine (a
// second test run, the demo) neither holds its locks nor sees its channels, and a check that a
// run left nothing in /tmp sees only what this program made. The display's socket folder is
// carried over into the new /tmp. Where the kernel refuses (no administrator rights, a confined
// container), the program runs on the machine's shared ones, as before.
#include "tests/support/PrivateMachine.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/threads/ProcessSemaphore.h"
#include "tests/support/ChildEntry.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/SelfAsChild.h"

namespace {

constexpr char kDisplaySockets[] = "/tmp/.X11-unix";
// The program's parent, in whose namespaces the program started: set once the program has its
// own, so that a child it starts of itself shares them, and the /tmp they agree on.
constexpr char kOuterPid[] = "WEND_TESTS_OUTSIDE_PID";
constexpr char kHoldRole[] = "--hold-machine-lock";

void carryOverDisplaySockets(int socketsFolder) {
  if (socketsFolder < 0) return;
  mkdir(kDisplaySockets, 01777);
  const std::string source = "/proc/self/fd/" + std::to_string(socketsFolder);
  mount(source.c_str(), kDisplaySockets, nullptr, MS_BIND, nullptr);
  close(socketsFolder);
}

void enterPrivateNamespaces() {
  if (unshare(CLONE_NEWIPC | CLONE_NEWNS) != 0) return;
  // Nothing mounted here may reach the machine's own namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  const int socketsFolder = open(kDisplaySockets, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (mount("wend-tests", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    if (socketsFolder >= 0) close(socketsFolder);
    return;
  }
  carryOverDisplaySockets(socketsFolder);
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
// keeps it until killed.
[[noreturn]] void holdMachineLock(int projectId, const std::string& outerPid) {
  pando::ProcessSemaphore lock(projectId);
  const char taken = joinNamespaces(outerPid) && lock.acquire() ? 'y' : 'n';
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
  struct stat own{}, outer{};
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
