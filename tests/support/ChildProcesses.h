#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "tests/support/Environment.h"

namespace wendtest {

// A gate that forked children wait at until the parent opens it for all of them at once.
// Create it before forking; children call pass(), the parent open().
class Gate {
 public:
  Gate() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;
  ~Gate() {
    closeEnd(0);
    closeEnd(1);
  }

  void pass() {
    closeEnd(1);
    char byte;
    while (read(fds_[0], &byte, 1) > 0) {
    }
  }
  void open() { closeEnd(1); }

 private:
  void closeEnd(int end) {
    if (fds_[end] >= 0) close(fds_[end]);
    fds_[end] = -1;
  }
  int fds_[2];
};

// Runs `body` in a forked child, whose exit code is body's result. The child never returns into
// the test framework.
inline pid_t forkChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// The child's exit code, or -1 when it did not exit normally.
inline int waitChild(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs `check` in a child process that has dropped to another user ("nobody"); true when it
// returned true. Lets a root test see what an unprivileged caller meets.
template <typename Check>
bool asOtherUser(Check check) {
  return waitChild(forkChild([&] {
           return setgid(otherUser()) == 0 && setuid(otherUser()) == 0 && check() ? 0 : 1;
         })) == 0;
}

inline std::vector<int> waitChildren(const std::vector<pid_t>& pids) {
  std::vector<int> codes;
  for (pid_t pid : pids) codes.push_back(waitChild(pid));
  return codes;
}

// Forks `racers` children that start together and call `attempt` once each; a child keeps what it
// took (attempt must not give it back on return) until every child has tried. Returns how many
// attempts succeeded, or -1 when a child failed to report.
inline int countWinners(int racers, const std::function<bool()>& attempt) {
  Gate start, finish;
  int results[2];
  if (pipe(results) != 0) return -1;
  std::vector<pid_t> children;
  for (int i = 0; i < racers; ++i) {
    children.push_back(forkChild([&] {
      close(results[0]);
      start.pass();
      char won = attempt() ? '1' : '0';
      if (write(results[1], &won, 1) != 1) return 2;
      finish.pass();
      return 0;
    }));
  }
  close(results[1]);
  start.open();
  int winners = 0, reports = 0;
  for (char won; reports < racers && read(results[0], &won, 1) == 1; ++reports) {
    winners += won == '1';
  }
  finish.open();
  close(results[0]);
  bool allExited = true;
  for (int code : waitChildren(children)) allExited = allExited && code == 0;
  return reports == racers && allExited ? winners : -1;
}

}  // namespace wendtest
