#include "platform/processes/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace platform {
namespace {

// RAII for the two posix_spawn records.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

int prepare(SpawnSetup& setup, int outputWrite, int errorWrite, bool discard, bool ownGroup) {
  int rc = posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  for (int stream : {1, 2}) {
    if (rc == 0 && discard)
      rc = posix_spawn_file_actions_addopen(&setup.actions, stream, "/dev/null", O_WRONLY, 0);
  }
  if (rc == 0 && outputWrite >= 0)
    rc = posix_spawn_file_actions_adddup2(&setup.actions, outputWrite, 1);
  if (rc == 0 && errorWrite >= 0)
    rc = posix_spawn_file_actions_adddup2(&setup.actions, errorWrite, 2);
  // Whatever else is open here, with or without close-on-exec, stays ours.
  if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
  if (rc != 0) return rc;

  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (ownGroup) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&setup.attributes, 0);
  }
  return posix_spawnattr_setflags(&setup.attributes, flags);
}

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.reset(fds[0]);
  writeEnd.reset(fds[1]);
  return true;
}

int waitFor(pid_t pid, int& status, int flags) {
  int rc;
  do {
    rc = waitpid(pid, &status, flags);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// A child that nobody will wait for still has to be reaped, or it stays a zombie.
void reapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      waitFor(pid, status, 0);
    }).detach();
  } catch (...) {
    // Without a thread the child stays a zombie until we end; nothing better is possible here.
  }
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ownGroup_(other.ownGroup_),
      pidfd_(std::move(other.pidfd_)),
      output_(std::move(other.output_)),
      error_(std::move(other.error_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0) reapInBackground(pid_);
    pid_ = std::exchange(other.pid_, -1);
    ownGroup_ = other.ownGroup_;
    pidfd_ = std::move(other.pidfd_);
    output_ = std::move(other.output_);
    error_ = std::move(other.error_);
  }
  return *this;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) reapInBackground(pid_);
}

int ChildProcess::spawn(const std::string& path, const std::vector<std::string>& arguments,
                        const Options& options) {
  if (pid_ > 0) return EBUSY;
  UniqueFd outputRead, outputWrite, errorRead, errorWrite;
  if (options.output == Output::kPipes &&
      (!makePipe(outputRead, outputWrite) || !makePipe(errorRead, errorWrite))) {
    return errno;
  }
  SpawnSetup setup;
  int rc = prepare(setup, outputWrite.get(), errorWrite.get(), options.output == Output::kDiscard,
                   options.ownProcessGroup);
  if (rc != 0) return rc;

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  if (options.endWithParent) {
    rc =
        spawnEndingWithParent(path, argv.data(), outputWrite.get(), errorWrite.get(), options, pid);
  } else {
    rc = posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  }
  if (rc != 0) return rc;
  pid_ = pid;
  ownGroup_ = options.ownProcessGroup;
  // Lets a waiter poll for the end; without it (old kernels) waiters fall back to polling.
  pidfd_.reset(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  output_ = std::move(outputRead);
  error_ = std::move(errorRead);
  return 0;
}

// posix_spawn cannot ask for the parent-death signal, so this child is forked by hand and does,
// before exec, what the spawn records ask for otherwise; only async-signal-safe calls after fork.
// An exec failure comes back as its errno through a close-on-exec pipe.
int ChildProcess::spawnEndingWithParent(const std::string& path, char* const argv[],
                                        int outputWrite, int errorWrite, const Options& options,
                                        pid_t& spawned) {
  UniqueFd failureRead, failureWrite;
  if (!makePipe(failureRead, failureWrite)) return errno;
  const pid_t parent = getpid();
  const int report = failureWrite.get();
  const pid_t pid = fork();
  if (pid < 0) return errno;
  if (pid == 0) {
    auto fail = [report](int error) {
      if (write(report, &error, sizeof error) < 0) _exit(127);
      _exit(127);
    };
    // The parent may have ended before the request took hold; then nothing is left to run for.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail(errno);
    if (getppid() != parent) _exit(127);
    if (options.ownProcessGroup && setpgid(0, 0) != 0) fail(errno);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) sigaction(number, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int input = open("/dev/null", O_RDONLY);
    if (input < 0 || dup2(input, 0) < 0) fail(errno);
    const bool discard = options.output == Output::kDiscard;
    const int output = discard ? open("/dev/null", O_WRONLY) : outputWrite;
    const int error = discard ? output : errorWrite;
    if ((output >= 0 && dup2(output, 1) < 0) || (error >= 0 && dup2(error, 2) < 0)) fail(errno);
    // Everything else of ours closes; the report pipe closes itself at the exec.
    if (report > 3) close_range(3, static_cast<unsigned>(report) - 1, 0);
    close_range(static_cast<unsigned>(report) + 1, ~0U, 0);
    execve(path.c_str(), argv, environ);
    fail(errno);
  }
  failureWrite.reset();
  int error = 0;
  ssize_t got;
  do {
    got = read(failureRead.get(), &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  if (got == static_cast<ssize_t>(sizeof error)) {
    int status = 0;
    waitFor(pid, status, 0);
    return error;
  }
  spawned = pid;
  return 0;
}

bool ChildProcess::wait(int& status) {
  if (pid_ <= 0 || waitFor(pid_, status, 0) != pid_) return false;
  release();
  return true;
}

bool ChildProcess::tryWait(int& status) {
  int reaped = 0;
  if (pid_ <= 0 || waitFor(pid_, reaped, WNOHANG) != pid_) return false;
  status = reaped;
  release();
  return true;
}

void ChildProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
}

void ChildProcess::release() {
  pid_ = -1;
  pidfd_.reset();
}

}  // namespace platform
