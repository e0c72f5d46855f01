#include "core/launch/ProcessWatch.h"

#include <signal.h>

#include <cerrno>
#include <thread>

bool isProcessRunning(int pid) {
  if (pid < 1) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

void waitForParentExit(int pid, const LaunchSettings& settings) {
  while (isProcessRunning(pid)) std::this_thread::sleep_for(settings.parentPoll);
}

void waitForProductExit(int pid, bool giveUp, const LaunchSettings& settings) {
  for (int count = 0; isProcessRunning(pid) && !(giveUp && count > settings.productCheckLimit);
       ++count) {
    std::this_thread::sleep_for(settings.productPoll);
  }
}
