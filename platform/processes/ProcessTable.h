#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The running processes as /proc lists them. Stateless; callable from any thread. Processes of
// other users whose executable link cannot be read are listed without a path.
namespace platform {

// The kernel cuts a process's short name (comm) to this many characters.
inline constexpr size_t kShortNameLength = 15;

struct ProcessEntry {
  pid_t pid = 0;
  std::string shortName;   // comm, at most kShortNameLength characters
  std::string executable;  // the target of /proc/<pid>/exe; empty when it cannot be read
};

// Fills `processes` (cleared first) in the order /proc lists them. False, and an empty list,
// when /proc cannot be read.
bool listProcesses(std::vector<ProcessEntry>& processes);

// Whether a process with that id exists now (a zombie included).
bool processExists(pid_t pid);

}  // namespace platform
