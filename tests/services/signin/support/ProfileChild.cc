// A test executable of this folder run as "<exe> --idra-child" acts as a later run of the
// installer: it makes a sign-in profile, asks for the stored user and ends before any test
// starts. glibc hands argc and argv to the entries of .init_array.
#include "tests/services/signin/support/ProfileChild.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "services/common/ServiceState.h"
#include "services/signin/IdraUserProfile.h"

namespace {

void actAsChild(int argc, char** argv, char**) {
  if (argc != 2 || std::strcmp(argv[1], "--idra-child") != 0) return;
  IdraUserProfile profile(std::make_shared<ServiceState>());
  profile.setEnvironment("PROD");
  const bool found = profile.getDefaultUserForClientId();
  std::printf("%s\n%s\n", profile.userGuid().c_str(), profile.firstText().c_str());
  std::fflush(stdout);
  _exit(found ? 0 : 1);
}

__attribute__((section(".init_array"), used)) void (*const kActAsChild)(int, char**,
                                                                        char**) = actAsChild;

}  // namespace

namespace wendtest {

int runProfileChild(std::string& output) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    if (dup2(fds[1], 1) < 0) _exit(120);
    char* const argv[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>("--idra-child"),
                          nullptr};
    execv(argv[0], argv);
    _exit(121);
  }
  close(fds[1]);
  output.clear();
  char buffer[4096];
  for (ssize_t count; (count = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) break;
    output.append(buffer, static_cast<size_t>(count));
  }
  close(fds[0]);
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace wendtest
