#include "platform/processes/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
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
  rc = posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  if (rc != 0) return rc;
  pid_ = pid;
  ownGroup_ = options.ownProcessGroup;
  // Lets a waiter poll for the end; without it (old kernels) waiters fall back to polling.
  pidfd_.reset(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  output_ = std::move(outputRead);
  error_ = std::move(errorRead);
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
