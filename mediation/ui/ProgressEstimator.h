#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "core/workflow/WorkflowBlocks.h"

// Folds the two install phases (the desktop application, then the further products) into one
// overall percentage weighted by their sizes, and estimates a range of minutes left that only ever
// shrinks. Time spent in alerts and in the quit confirmation is not installation time.
//
// Thread rules: every method may be called from any thread; one small mutex keeps each call whole.
// The clock is borrowed and must outlive the estimator. Nothing here calls back.
namespace mediation {

// Whole seconds of a monotonic clock; never goes back.
class MonotonicSeconds {
 public:
  virtual ~MonotonicSeconds() = default;
  virtual int64_t now() const = 0;

  // The process's steady clock.
  static const MonotonicSeconds& steady();
};

// What one progress message shows and the workflow mirrors, in the mirrored block's order.
struct ProgressFigures {
  int32_t minutesLeftMin = 0;
  int32_t minutesLeftMax = 0;
  int32_t progress = 0;

  friend bool operator==(const ProgressFigures&, const ProgressFigures&) = default;
};

class ProgressEstimator {
 public:
  static constexpr float kDefaultWeightage = 0.3f;
  // The desktop application's share once it finished without reporting a running percentage.
  static constexpr float kFinishedUnseenWeightage = 0.05f;
  static constexpr int32_t kNoMinutesMin = 10000;
  static constexpr int32_t kNoMinutesMax = 10002;
  // The phase that is not reporting.
  static constexpr int kNotReporting = -1;

  explicit ProgressEstimator(const MonotonicSeconds& clock) : clock_(clock) {}
  ProgressEstimator(const ProgressEstimator&) = delete;
  ProgressEstimator& operator=(const ProgressEstimator&) = delete;

  // The desktop application's share from the two sizes in bytes (decimal texts; the product size
  // is empty when not configured). A size of 0, an absent one, or two whose sum does not fit in 64
  // bits leave the share unchanged. Returns the share now in force.
  float updateWeightage(const std::string& tarnSize, const std::string& productSize);

  // One progress message: `productProgress` or `desktopProgress` is kNotReporting for the phase
  // that is silent. The first call starts the clock of the run.
  ProgressFigures update(int productProgress, int desktopProgress);

  // An alert or the quit confirmation is on screen from now. A later one restarts the pause.
  void openPause();
  // The page answered the alert: the open pause, from its start or the run's start whichever is
  // later, stops counting. Nothing when no pause is open or the run has not started.
  void closePause();

  float weightage() const;

  // Which view commands open a pause (the quit confirmation not while the products install) and
  // which page answers close it.
  static bool opensPause(const std::string& viewCommand, WorkflowState state);
  static bool closesPause(const std::string& pageMessage);

 private:
  const MonotonicSeconds& clock_;
  mutable std::mutex mutex_;
  float weightage_ = kDefaultWeightage;      // guarded by mutex_
  bool desktopNotRunning_ = true;            // guarded by mutex_
  std::optional<int64_t> start_;             // guarded by mutex_
  std::optional<int64_t> pauseStart_;        // guarded by mutex_
  int64_t pausedSeconds_ = 0;                // guarded by mutex_
  int32_t minutesMinShown_ = kNoMinutesMin;  // guarded by mutex_
  int32_t minutesMaxShown_ = kNoMinutesMax;  // guarded by mutex_
};

}  // namespace mediation
