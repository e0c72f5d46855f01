#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadSettings.h"
#include "download/engine/FileDownloadManager.h"

namespace gde::testing {

// The engine's waits shortened for tests.
inline DownloadSettings quickSettings() {
  DownloadSettings settings;
  settings.tick = std::chrono::milliseconds(2);
  settings.pausedTick = std::chrono::milliseconds(5);
  settings.workerIdleWait = std::chrono::milliseconds(5);
  settings.sizeRetryWait = std::chrono::milliseconds(5);
  settings.jobStopForceAfter = std::chrono::milliseconds(500);
  settings.jobStopAbandonAfter = std::chrono::milliseconds(3000);
  settings.fileCreateRetryWaits[1] = settings.fileCreateRetryWaits[2] =
      std::chrono::milliseconds(5);
  settings.retryAfterScale = 0.01;
  settings.recheckWait = std::chrono::milliseconds(1);
  settings.recheckWaitLimit = std::chrono::milliseconds(4);
  return settings;
}

inline HttpSettings quickHttp() {
  HttpSettings settings;
  settings.readWait = std::chrono::milliseconds(200);
  settings.connectTimeout = std::chrono::milliseconds(5000);
  settings.headTimeout = std::chrono::milliseconds(5000);
  return settings;
}

// Records the events it is registered for; optionally rejects segments.
class EventRecorder : public IDleIntercept {
 public:
  int32_t onEvent(int32_t event, const void* data, uint32_t size) override {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
    if (event == 7 && size == sizeof(DLEErrorInfo))
      errors_.push_back(*static_cast<const DLEErrorInfo*>(data));
    if (event == 4) completedPath_.assign(static_cast<const char*>(data), size);
    if ((event == 2 || event == 3) && rejectSegment) return rejectSegment(event, data);
    return 0;
  }
  int count(int32_t event) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (int32_t e : events_) n += e == event;
    return n;
  }
  std::vector<DLEErrorInfo> errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  std::string completedPath() const {
    std::lock_guard lock(mutex_);
    return completedPath_;
  }
  std::function<int32_t(int32_t event, const void* data)> rejectSegment;

 private:
  mutable std::mutex mutex_;
  std::vector<int32_t> events_;
  std::vector<DLEErrorInfo> errors_;
  std::string completedPath_;
};

// Waits until the manager's progress state is one of `states`; the state reached, or -1.
inline int32_t waitForState(const FileDownloadManager& manager, std::vector<int32_t> states,
                            std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    DLEProgress progress;
    if (manager.getProgress(progress) == 0) {
      for (int32_t state : states) {
        if (progress.state == state) return state;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -1;
}

inline DLEInputStruct requestFor(const std::string& url, const std::string& folder,
                                 uint32_t threads, uint32_t segmentSize) {
  DLEInputStruct request;
  request.serverfullpath = url;
  request.targetFolder = folder;
  request.targetFileName = "out.bin";
  request.preferences.threadCount = threads;
  request.preferences.segmentSize = segmentSize;
  return request;
}

}  // namespace gde::testing
