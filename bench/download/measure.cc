// wend-measure: runs a command and prints "wend-measure: WALL_SECONDS CPU_SECONDS PEAK_KIB EXIT"
// on stderr:
// its wall time, the user and system CPU time of it and its children, and its peak resident
// memory. The command's own output goes where it would.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wend-measure COMMAND [ARGS...]\n");
    return 2;
  }
  auto started = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(stderr, "wend-measure: %.3f %.3f %ld %d\n", wall, cpu, usage.ru_maxrss, exitCode);
  return 0;
}
