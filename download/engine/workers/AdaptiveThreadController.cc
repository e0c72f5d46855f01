#include "download/engine/workers/AdaptiveThreadController.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {

constexpr const char* kComponent = "AdaptiveThreadController";
constexpr int32_t kStatisticsEvent = 11;
constexpr int kPositive = 1;
constexpr int kNegative = -1;
constexpr int kEqual = 0;

struct Cell {
  uint32_t state;
  int32_t decision;
};

using Ctl = AdaptiveThreadController;

// [divergence][current state] -> new state and decision; equal-in-NOP is handled apart.
constexpr Cell kPositiveRow[] = {{Ctl::kDamp, Ctl::kFewer},
                                 {Ctl::kExcite, Ctl::kMore},
                                 {Ctl::kExcite, Ctl::kMore},
                                 {Ctl::kExcite, Ctl::kMore},
                                 {Ctl::kDamp, Ctl::kFewer}};
constexpr Cell kNegativeRow[] = {{Ctl::kExcite, Ctl::kMore},
                                 {Ctl::kDamp, Ctl::kFewer},
                                 {Ctl::kDamp, Ctl::kFewer},
                                 {Ctl::kNop, Ctl::kFewer},
                                 {Ctl::kNop, Ctl::kMore}};
constexpr Cell kEqualRow[] = {{Ctl::kDamp, Ctl::kFewer},
                              {Ctl::kNop, Ctl::kSame},
                              {Ctl::kNop, Ctl::kSame},
                              {Ctl::kNop, Ctl::kFewer},
                              {Ctl::kDamp, Ctl::kFewer}};

}  // namespace

AdaptiveThreadController::AdaptiveThreadController(AdaptiveControllerOwner& owner,
                                                   const EngineClock& clock)
    : owner_(owner), clock_(clock) {}

const char* AdaptiveThreadController::stateName(uint32_t state) {
  switch (state) {
    case kDamp:
      return "DAMP";
    case kExcite:
      return "EXCITE";
    case kProbeExcite:
      return "PROBE_EXCITE";
    case kProbeDamp:
      return "PROBE_DAMP";
    default:
      return "NOP";
  }
}

// The first call only marks the start: a sample needs an earlier time, and a false zero would
// keep the variance from settling until it left the ring.
void AdaptiveThreadController::tick() {
  uint64_t sample = 0;
  if (!takeSample(sample)) return;
  ringIndex_ = (ringIndex_ + 1) % kRingSize;
  sampleCount_ = sampleCount_ + 1 > kRingSize ? kRingSize : sampleCount_ + 1;
  addSample(sampleCount_, sample);
}

// KB/s (1000 bytes) since the previous call, on the monotonic clock in milliseconds (bytes per
// millisecond are KB/s); false on the first call and when no time has passed.
bool AdaptiveThreadController::takeSample(uint64_t& sample) {
  const EngineClock::TimePoint now = clock_.now();
  const uint64_t total = owner_.totalBytesReceived();
  if (!started_) {
    started_ = true;
    lastSampleTime_ = now;
    lastTotalBytes_ = total;
    return false;
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - lastSampleTime_).count();
  if (elapsed <= 0) return false;
  sample = (total - lastTotalBytes_) / static_cast<uint64_t>(elapsed);
  lastSampleTime_ = now;
  lastTotalBytes_ = total;
  return true;
}

void AdaptiveThreadController::addSample(uint32_t count, uint64_t sample) {
  if (count == 0) return;
  uint64_t& slot = throughputRing_[ringIndex_];
  throughputSum_ = throughputSum_ - slot + sample;
  slot = sample;
  meanThroughput_ = throughputSum_ / count;

  uint64_t& meanSlot = meanRing_[ringIndex_];
  meanSum_ -= meanSlot;
  meanSquareSum_ -= meanSlot * meanSlot;
  meanSlot = meanThroughput_;
  meanSum_ += meanSlot;
  meanSquareSum_ += meanSlot * meanSlot;
  meanOfMeans_ = meanSum_ / count;
  meanSquare_ = meanSquareSum_ / count;
  variance_ = meanSquare_ - meanOfMeans_ * meanOfMeans_;
}

void AdaptiveThreadController::sendStatistics() {
  AdaptiveStatistics record{meanThroughput_,
                            referenceThroughput_,
                            variance_,
                            stateName(previousState_),
                            stateName(evaluatedMarker_),
                            stateName(queueBelowLimit_),
                            message_.c_str(),
                            stable_ ? 1u : 0u};
  owner_.notifyIntercepts(kStatisticsEvent, &record, sizeof record);
}

int32_t AdaptiveThreadController::evaluate(bool& decided) {
  stable_ = false;
  evaluatedMarker_ = 1;
  if (owner_.serializationJobsWaiting() >= kQueueLimit) {
    queueBelowLimit_ = 0;
    state_ = kDamp;
    decided = true;
    return kFewer;
  }
  queueBelowLimit_ = 1;

  uint64_t limit = static_cast<uint64_t>(0.1 * static_cast<double>(meanOfMeans_));
  stable_ = variance_ <= limit * limit;
  if (!stable_) {
    decided = false;
    return kSame;
  }
  decided = true;
  double factor = (state_ == kProbeExcite || state_ == kProbeDamp) ? 0.05 : 0.1;
  uint64_t band = static_cast<uint64_t>(factor * static_cast<double>(referenceThroughput_));
  int divergence = kEqual;
  if (meanThroughput_ > referenceThroughput_ + band) {
    divergence = kPositive;
    message_ = "Positive Divergence";
  } else if (meanThroughput_ + band < referenceThroughput_) {
    divergence = kNegative;
    message_ = "negative Divergence";
  } else {
    message_ = "Equal Divergence";
  }
  int32_t decision = transition(divergence);
  referenceThroughput_ = meanThroughput_;
  previousState_ = state_;
  return decision;
}

int32_t AdaptiveThreadController::transition(int divergence) {
  uint32_t from = state_ <= kProbeDamp ? state_ : static_cast<uint32_t>(kNop);
  if (divergence == kEqual && from == kNop) return flatInNop();
  stabilityCount_ = 0;
  const Cell* row = divergence == kPositive   ? kPositiveRow
                    : divergence == kNegative ? kNegativeRow
                                              : kEqualRow;
  state_ = row[from].state;
  return row[from].decision;
}

int32_t AdaptiveThreadController::flatInNop() {
  ++stabilityCount_;
  engineLog(pando::kLogTrace, kComponent, "the stability count is %d", stabilityCount_);
  if (stabilityCount_ < 2) return kSame;
  int32_t count = stabilityCount_;
  stabilityCount_ = 0;
  if (lastProbe_ == kProbeExcite) {
    state_ = lastProbe_ = kProbeDamp;
    engineLog(pando::kLogTrace, kComponent, "probe damping the system - %d", count);
    return kFewer;
  }
  state_ = lastProbe_ = kProbeExcite;
  engineLog(pando::kLogTrace, kComponent, "probe exciting the system - %d", count);
  return kMore;
}

}  // namespace gde
