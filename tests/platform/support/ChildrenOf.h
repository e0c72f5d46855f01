#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace wendtest {

struct ProcStat {
  pid_t pid = 0;
  char state = 0;
  pid_t parent = 0;
  pid_t group = 0;
};

// Every process that /proc lists, with its state letter ('R', 'S', 'Z', ...), parent and group.
inline std::vector<ProcStat> processes() {
  std::vector<ProcStat> out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string path = std::string("/proc/") + entry->d_name + "/stat";
    FILE* file = fopen(path.c_str(), "r");
    if (!file) continue;
    char line[1024] = {};
    size_t got = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    std::string text(line, got);
    size_t close = text.rfind(')');
    ProcStat stat;
    if (close == std::string::npos || sscanf(text.c_str() + close + 1, " %c %d %d", &stat.state,
                                             &stat.parent, &stat.group) != 3) {
      continue;
    }
    stat.pid = std::atoi(entry->d_name);
    out.push_back(stat);
  }
  closedir(proc);
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

inline int zombieChildren() {
  int count = 0;
  for (char state : childStates()) count += state == 'Z';
  return count;
}

// Whether a process of the group still runs (one that is dead but not yet reaped by its new
// parent does not count: it holds nothing).
inline bool groupAlive(pid_t group) {
  for (const ProcStat& stat : processes()) {
    if (stat.group == group && stat.state != 'Z' && stat.state != 'X') return true;
  }
  return false;
}

}  // namespace wendtest
