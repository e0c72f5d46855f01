#include "platform/processes/ProcessTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

struct DirClose {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool processId(const char* name, pid_t& pid) {
  char* end = nullptr;
  long value = std::strtol(name, &end, 10);
  if (*name < '0' || *name > '9' || *end != '\0' || value <= 0 || value > INT_MAX) return false;
  pid = static_cast<pid_t>(value);
  return true;
}

// /proc/<pid>/comm without its newline; false when the process has gone.
bool readShortName(int procFd, const std::string& pid, std::string& name) {
  UniqueFd fd(openat(procFd, (pid + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  char buffer[64];
  ssize_t got = read(fd.get(), buffer, sizeof buffer);
  if (got < 0) return false;
  name.assign(buffer, static_cast<size_t>(got));
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return true;
}

std::string readExecutable(int procFd, const std::string& pid) {
  char buffer[PATH_MAX];
  ssize_t got = readlinkat(procFd, (pid + "/exe").c_str(), buffer, sizeof buffer);
  if (got <= 0 || static_cast<size_t>(got) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<size_t>(got));
}

}  // namespace

bool listProcesses(std::vector<ProcessEntry>& processes) {
  processes.clear();
  std::unique_ptr<DIR, DirClose> proc(opendir("/proc"));
  if (!proc) return false;
  const int procFd = dirfd(proc.get());
  while (const dirent* entry = readdir(proc.get())) {
    ProcessEntry process;
    if (!processId(entry->d_name, process.pid)) continue;
    // A process that ended between the listing and this read is no longer running.
    if (!readShortName(procFd, entry->d_name, process.shortName)) continue;
    process.executable = readExecutable(procFd, entry->d_name);
    processes.push_back(std::move(process));
  }
  return true;
}

bool processExists(pid_t pid) {
  struct stat info;
  return pid > 0 && stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

}  // namespace platform
