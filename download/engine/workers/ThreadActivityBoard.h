#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "download/engine/common/EngineClock.h"

namespace gde {

// What each downloader thread is doing, for the hang watch and the statistics. Times are on the
// engine clock; a default TimePoint means "never". Thread-safe.
class ThreadActivityBoard {
 public:
  struct Record {
    EngineClock::TimePoint jobStart{};
    EngineClock::TimePoint lastData{};
    EngineClock::TimePoint jobEnd{};
    bool busy = false;
    uint64_t bytesReceived = 0;
  };

  explicit ThreadActivityBoard(const EngineClock& clock) : clock_(clock) {}

  // Fresh idle records for threads 0..count-1 (others are dropped).
  void resetIdle(uint32_t count);
  void markJobStarted(uint32_t index);
  void markDataReceived(uint32_t index);
  void markJobEnded(uint32_t index);
  void addBytesReceived(uint32_t index, uint64_t count);
  std::map<uint32_t, Record> snapshot() const;

 private:
  const EngineClock& clock_;
  mutable std::mutex mutex_;
  std::map<uint32_t, Record> records_;  // guarded by mutex_
};

}  // namespace gde
