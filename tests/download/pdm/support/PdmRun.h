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
  return settings;
}

// Polls as the client does until the run has ended (status 2, 4 or 32) or `limit` has passed;
// the last progress record.
inline pdm::PDMProgress waitForEnd(const pdm::PDMImpl& manager,
                                   std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  pdm::PDMProgress progress;
  for (;;) {
    manager.getProgress(progress);
    const bool ended = progress.status == pdm::kStatusPausedOnError ||
                       progress.status == pdm::kStatusFatal ||
                       progress.status == pdm::kStatusComplete;
    if (ended || std::chrono::steady_clock::now() > deadline) return progress;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Waits until the run's percent has reached `percent`; false after `limit`.
inline bool waitForPercent(const pdm::PDMImpl& manager, int32_t percent,
                           std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  pdm::PDMProgress progress;
  while (std::chrono::steady_clock::now() < deadline) {
    manager.getProgress(progress);
    if (progress.percent >= percent) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace wendtest
