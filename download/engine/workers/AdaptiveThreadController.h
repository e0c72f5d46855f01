#pragma once

#include <cstdint>
#include <string>

#include "download/engine/common/EngineClock.h"

namespace gde {

// Statistics event 11 (natural layout, size passed as sizeof). The texts live until the event
// call returns.
struct AdaptiveStatistics {
  uint64_t meanThroughput;  // KB/s (1000 bytes)
  uint64_t referenceThroughput;
  uint64_t variance;
  const char* previousState;
  const char* evaluatedMarker;
  const char* queueBelowLimit;
  const char* message;
  uint32_t stable;
};

// What the controller reads of its download and where it publishes its figures.
class AdaptiveControllerOwner {
 public:
  virtual ~AdaptiveControllerOwner() = default;
  virtual uint64_t totalBytesReceived() const = 0;
  virtual uint32_t serializationJobsWaiting() const = 0;
  virtual int32_t notifyIntercepts(int32_t event, const void* data, uint32_t size) = 0;
};

// Decides whether one downloader thread more, one fewer or the same number serves the download
// best. tick() samples the throughput; evaluate() compares the moving average (8 samples) with
// the one at the previous decision once the average is stable, and probes in alternate
// directions during a long flat stretch. Used by the download thread only; no lock.
class AdaptiveThreadController {
 public:
  enum State : uint32_t { kDamp = 0, kNop = 1, kExcite = 2, kProbeExcite = 3, kProbeDamp = 4 };
  enum Decision : int32_t { kFewer = 0, kSame = 1, kMore = 2 };
  static constexpr uint32_t kRingSize = 8;
  static constexpr uint32_t kQueueLimit = 501;  // waiting serialization jobs that force DAMP

  AdaptiveThreadController(AdaptiveControllerOwner& owner, const EngineClock& clock);

  // Samples the throughput since the previous tick into the ring (the first tick only starts).
  void tick();
  void sendStatistics();
  // A Decision; `decided` tells whether the figures were stable enough to decide.
  int32_t evaluate(bool& decided);
  void setState(uint32_t state) { state_ = state; }

  uint32_t state() const { return state_; }
  uint64_t meanThroughput() const { return meanThroughput_; }
  uint64_t referenceThroughput() const { return referenceThroughput_; }
  uint64_t variance() const { return variance_; }
  bool stable() const { return stable_; }

  static const char* stateName(uint32_t state);

 private:
  bool takeSample(uint64_t& sample);
  void addSample(uint32_t count, uint64_t sample);
  int32_t transition(int divergence);
  int32_t flatInNop();

  AdaptiveControllerOwner& owner_;
  const EngineClock& clock_;
  uint32_t state_ = kExcite;
  uint32_t ringIndex_ = kRingSize - 1;
  uint32_t sampleCount_ = 0;
  uint32_t previousState_ = kNop;
  uint32_t evaluatedMarker_ = 1;
  uint32_t queueBelowLimit_ = 1;
  bool started_ = false;
  EngineClock::TimePoint lastSampleTime_{};
  uint64_t lastTotalBytes_ = 0;
  std::string message_;
  bool stable_ = false;
  uint64_t throughputRing_[kRingSize] = {};
  uint64_t throughputSum_ = 0;
  uint64_t meanThroughput_ = 0;
  uint64_t meanRing_[kRingSize] = {};
  uint64_t meanSum_ = 0;
  uint64_t meanSquareSum_ = 0;
  uint64_t meanOfMeans_ = 0;
  uint64_t meanSquare_ = 0;
  uint64_t variance_ = 0;
  uint64_t referenceThroughput_ = 0;
  int32_t stabilityCount_ = 0;
  // The direction of the next probe is the other one: the first probe of a flat stretch excites.
  uint32_t lastProbe_ = kProbeDamp;
};

}  // namespace gde
