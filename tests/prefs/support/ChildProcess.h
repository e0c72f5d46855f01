#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wendtest {

// Runs this test executable again as a second user of the preferences library (see OpmChild.cc):
// "--opm-child" followed by `args`. Descriptor `reportFd`, when not -1, becomes descriptor 3 of
// the child. The child inherits the environment.
pid_t startOpmChild(const std::vector<std::string>& args, int reportFd = -1);
// Waits for the child; its exit status, or -1 when it did not exit normally.
int waitForChild(pid_t pid);
// Starts, waits and collects what the child printed.
int runOpmChild(const std::vector<std::string>& args, std::string* output = nullptr);

}  // namespace wendtest
