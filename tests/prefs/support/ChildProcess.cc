#include "tests/prefs/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace wendtest {
namespace {

pid_t start(const std::vector<std::string>& args, int reportFd, int outputFd) {
  std::vector<std::string> argv{"/proc/self/exe", "--opm-child"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (reportFd >= 0 && dup2(reportFd, 3) < 0) _exit(120);
  if (outputFd >= 0 && dup2(outputFd, 1) < 0) _exit(120);
  execv(pointers[0], pointers.data());
  _exit(121);
}

}  // namespace

pid_t startOpmChild(const std::vector<std::string>& args, int reportFd) {
  return start(args, reportFd, -1);
}

int waitForChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runOpmChild(const std::vector<std::string>& args, std::string* output) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = start(args, -1, fds[1]);
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t count; (count = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) break;
    text.append(buffer, static_cast<size_t>(count));
  }
  close(fds[0]);
  if (output) *output = text;
  return pid < 0 ? -1 : waitForChild(pid);
}

}  // namespace wendtest
