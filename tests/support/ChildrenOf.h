#pragma once

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace wendtest {

struct ProcStat {
  char state = 0;  // 'R', 'S', 'Z', ...
  pid_t parent = 0;
  pid_t group = 0;
};

// Every process that /proc lists.
inline std::vector<ProcStat> processes() {
  std::vector<ProcStat> out;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    std::string path = std::string("/proc/") + entry->d_name + "/stat";
    FILE* file =
        entry->d_name[0] >= '1' && entry->d_name[0] <= '9' ? fopen(path.c_str(), "r") : nullptr;
    if (!file) continue;
    char line[1024] = {};
    std::string text(line, fread(line, 1, sizeof line - 1, file));
    fclose(file);
    ProcStat stat;
    size_t close = text.rfind(')');
    if (close != std::string::npos && sscanf(text.c_str() + close + 1, " %c %d %d", &stat.state,
                                             &stat.parent, &stat.group) == 3) {
      out.push_back(stat);
    }
  }
  if (proc) closedir(proc);
  return out;
}

// The state letters of this process's children.
inline std::vector<char> childStates() {
  std::vector<char> states;
  for (const ProcStat& stat : processes()) {
    if (stat.parent == getpid()) states.push_back(stat.state);
  }
  return states;
}

// Whether a process of the group still runs (one dead but not yet reaped by its new parent holds
// nothing).
inline bool groupAlive(pid_t group) {
  for (const ProcStat& stat : processes()) {
    if (stat.group == group && stat.state != 'Z' && stat.state != 'X') return true;
  }
  return false;
}

}  // namespace wendtest
