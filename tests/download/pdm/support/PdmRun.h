#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/pdm/PDMImpl.h"

namespace wendtest {

namespace pdm = orvel::PackageDownloadManager;

// An intercept that keeps every percent and status record the manager sends.
class PdmRecorder final : public pdm::IPdmIntercept {
 public:
  int32_t onEvent(const int32_t& event, const void* record, uint32_t size) override {
    std::lock_guard lock(mutex_);
    if (event == kEventProgress && size == sizeof(pdm::PDMProgress)) {
      percents_.push_back(static_cast<const pdm::PDMProgress*>(record)->percent);
    } else if (event == kEventStatus && size == sizeof(pdm::PDMStatus)) {
      statuses_.push_back(*static_cast<const pdm::PDMStatus*>(record));
    }
    return 0;
  }
  std::vector<int32_t> percents() const {
    std::lock_guard lock(mutex_);
    return percents_;
  }
  std::vector<pdm::PDMStatus> statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int32_t> percents_;
  std::vector<pdm::PDMStatus> statuses_;
};

// Short ticks keep the runs quick; the behaviour is the same.
inline pdm::PDMSettings fastSettings() {
  pdm::PDMSettings settings;
  settings.tick = std::chrono::milliseconds(20);
  settings.engine.connectRetryWait = std::chrono::milliseconds(5);
  settings.engine.connectRetryWaitLimit = std::chrono::milliseconds(40);
  return settings;
}

// Polls as the client does until `done` holds for the progress record or `limit` has passed;
// the last record. Works for the manager and for a bare downloader.
template <typename Manager, typename Done>
pdm::PDMProgress pollProgress(const Manager& manager, Done done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  pdm::PDMProgress progress;
  for (;;) {
    manager.getProgress(progress);
    if (done(progress) || std::chrono::steady_clock::now() > deadline) return progress;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The last progress record once the run has ended (status 2, 4 or 32), or after two minutes.
inline pdm::PDMProgress waitForEnd(const pdm::PDMImpl& manager) {
  const auto ended = [](const pdm::PDMProgress& p) {
    return p.status == pdm::kStatusPausedOnError || p.status == pdm::kStatusFatal ||
           p.status == pdm::kStatusComplete;
  };
  return pollProgress(manager, ended, std::chrono::seconds(120));
}

// Whether the run's percent reaches `percent` within a minute.
inline bool waitForPercent(const pdm::PDMImpl& manager, int32_t percent) {
  const auto reached = [percent](const pdm::PDMProgress& p) { return p.percent >= percent; };
  return reached(pollProgress(manager, reached, std::chrono::seconds(60)));
}

}  // namespace wendtest
