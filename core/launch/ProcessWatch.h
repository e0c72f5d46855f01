#pragma once

#include "core/launch/LaunchSettings.h"

// Watching another process by its id until it ends. Stateless; any thread; the waits block the
// calling thread.

// Running while kill(pid, 0) succeeds or is refused for want of permission. An id below 1 (text
// that is no number reads as 0) names no single process and counts as not running.
bool isProcessRunning(int pid);

// Returns once the process has ended, checking every parentPoll. No limit.
void waitForParentExit(int pid, const LaunchSettings& settings);

// Returns once the product has ended, checking every productPoll; with `giveUp`, also at the
// check after productCheckLimit, so the last check comes after productCheckLimit + 1 waits.
void waitForProductExit(int pid, bool giveUp, const LaunchSettings& settings);
