#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/ChildProcesses.h"

namespace wendtest {

// Runs this test executable again with `args` after its name, so that a child entry the folder's
// support hooks into .init_array acts and ends before any test starts. The environment is
// inherited. Descriptor `reportFd` becomes the child's 3 and `outputFd` its standard output
// (-1: left alone).
inline pid_t startSelf(std::vector<std::string> args, int reportFd = -1, int outputFd = -1) {
  args.insert(args.begin(), "/proc/self/exe");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  if ((reportFd >= 0 && dup2(reportFd, 3) < 0) || (outputFd >= 0 && dup2(outputFd, 1) < 0))
    _exit(120);
  execv(argv[0], argv.data());
  _exit(121);
}

// Everything readable from `fd` until its writers are gone.
inline std::string readToEnd(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t count; (count = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, count);
  return text;
}

// Starts, waits and collects what the child printed; its exit status (-1: it did not exit).
inline int runSelf(const std::vector<std::string>& args, std::string* output = nullptr) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = startSelf(args, -1, fds[1]);
  close(fds[1]);
  std::string text = readToEnd(fds[0]);
  close(fds[0]);
  if (output) *output = text;
  return pid < 0 ? -1 : waitChild(pid);
}

}  // namespace wendtest
