#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "download/engine/workers/BaseJob.h"

namespace gde::testing {

// A job whose execute runs a test's function; it counts its runs, resets and destruction.
class ScriptedJob : public BaseJob {
 public:
  struct Counters {
    std::atomic<int> runs{0};
    std::atomic<int> resets{0};
    std::atomic<int> terminations{0};
    std::atomic<int> destroyed{0};
  };
  using Body = std::function<uint32_t(ScriptedJob&, uint32_t threadIndex)>;

  ScriptedJob(uint32_t id, Counters& counters, Body body)
      : BaseJob(id), counters_(counters), body_(std::move(body)) {}
  ~ScriptedJob() override { ++counters_.destroyed; }

  uint32_t execute(uint32_t threadIndex) override {
    ++counters_.runs;
    return body_(*this, threadIndex);
  }
  bool terminate() override {
    ++counters_.terminations;
    terminated.store(true);
    return true;
  }
  bool resetForRetry() override {
    ++counters_.resets;
    return true;
  }

  // Runs until a pause or stop reaches the job (or it is terminated), like a download loop.
  uint32_t runUntilInterrupted() {
    while (state() == kRunning && !terminated.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool paused = state() == kPauseRequested;
    setState(kStopped);
    return paused ? kPaused : kCancelled;
  }

  std::atomic<bool> terminated{false};

 private:
  Counters& counters_;
  Body body_;
};

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace gde::testing
