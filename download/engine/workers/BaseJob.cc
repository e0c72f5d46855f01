#include "download/engine/workers/BaseJob.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {

bool isEnding(int32_t state) {
  return state == BaseJob::kStopping || state == BaseJob::kStopped || state == BaseJob::kComplete;
}

}  // namespace

bool BaseJob::pauseJob() {
  int32_t current = state_.load();
  while (true) {
    if (isEnding(current)) {
      engineLog(pando::kLogInfo, "BaseJob",
                "BaseJob::pauseJob: job is either stopped or getting stopped");
      return false;
    }
    int32_t next = current == kRunning ? kPauseRequested : kIdle;
    if (!state_.compare_exchange_weak(current, next)) continue;
    if (next == kPauseRequested) onInterrupted();
    return true;
  }
}

bool BaseJob::resumeJob() {
  int32_t current = state_.load();
  while (true) {
    if (isEnding(current)) {
      engineLog(pando::kLogInfo, "BaseJob",
                "BaseJob::resumeJob : job is either stopped or getting stopped");
      return false;
    }
    if (state_.compare_exchange_weak(current, kRunning)) return true;
  }
}

bool BaseJob::stopJob() {
  int32_t current = state_.load();
  while (true) {
    int32_t next = (current == kStopped || current == kComplete) ? kStopped : kStopping;
    if (!state_.compare_exchange_weak(current, next)) continue;
    if (current == kRunning || current == kPauseRequested) onInterrupted();
    return true;
  }
}

void BaseJob::claim() {
  int32_t current = state_.load();
  while (current == kIdle || current == kStopped || current == kDelayed) {
    if (state_.compare_exchange_weak(current, kRunning)) return;
  }
}

}  // namespace gde
