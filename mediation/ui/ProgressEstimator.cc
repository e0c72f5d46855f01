#include "mediation/ui/ProgressEstimator.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "foundation/text/StringUtils.h"

namespace mediation {
namespace {

constexpr int64_t kMinimumElapsed = 61;
constexpr float kUnknownEstimate = 6000000.0f;
constexpr float kEstimateMargin = 60.0f;
// Keeps 2k + 2 inside 32 bits and the float-to-int conversion defined.
constexpr float kLargestHalfMinutes = 1.0e9f;

class SteadySeconds final : public MonotonicSeconds {
 public:
  int64_t now() const override {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

const MonotonicSeconds& MonotonicSeconds::steady() {
  static const SteadySeconds clock;
  return clock;
}

float ProgressEstimator::updateWeightage(const std::string& tarnSize,
                                         const std::string& productSize) {
  auto tarn = static_cast<uint64_t>(StringUtils::utilConvertStringToInt64(tarnSize));
  auto product = static_cast<uint64_t>(StringUtils::utilConvertStringToInt64(productSize));
  std::lock_guard lock(mutex_);
  if (tarn != 0 && product != 0 && tarn <= std::numeric_limits<uint64_t>::max() - product) {
    weightage_ = static_cast<float>(tarn) / static_cast<float>(tarn + product);
  }
  return weightage_;
}

ProgressFigures ProgressEstimator::update(int productProgress, int desktopProgress) {
  std::lock_guard lock(mutex_);
  int64_t now = clock_.now();
  if (!start_) start_ = now;
  if (desktopProgress >= 6 && desktopProgress <= 99) desktopNotRunning_ = false;

  float overall;
  if (productProgress == kNotReporting) {
    if (desktopProgress == 100 && desktopNotRunning_) weightage_ = kFinishedUnseenWeightage;
    overall = static_cast<float>(desktopProgress) * weightage_;
  } else {
    overall = (1.0f - weightage_) * static_cast<float>(productProgress) + 100.0f * weightage_;
  }
  ProgressFigures figures;
  figures.progress = static_cast<int32_t>(overall);

  int64_t elapsed = now - *start_ - pausedSeconds_;
  if (elapsed >= kMinimumElapsed && figures.progress >= static_cast<int>(20.0f * weightage_)) {
    float estimate = kUnknownEstimate;
    if (figures.progress > 0) {
      estimate = static_cast<float>(static_cast<int64_t>(100 - figures.progress) * elapsed /
                                    figures.progress);
    }
    estimate += kEstimateMargin;
    // A progress past 100 would otherwise show negative minutes.
    float halfMinutes = std::clamp(estimate * 1.1f / 60.0f * 0.5f, 0.0f, kLargestHalfMinutes);
    auto k = static_cast<int32_t>(halfMinutes);
    if (2 * k <= minutesMinShown_) minutesMinShown_ = 2 * k;
    figures.minutesLeftMin = minutesMinShown_;
    if (2 * k + 2 <= minutesMaxShown_) minutesMaxShown_ = 2 * k + 2;
    figures.minutesLeftMax = minutesMaxShown_;
  }
  return figures;
}

void ProgressEstimator::openPause() {
  std::lock_guard lock(mutex_);
  pauseStart_ = clock_.now();
}

void ProgressEstimator::closePause() {
  std::lock_guard lock(mutex_);
  if (!pauseStart_) return;
  int64_t now = clock_.now();
  if (start_) pausedSeconds_ += now - std::max(*pauseStart_, *start_);
  pauseStart_.reset();
}

float ProgressEstimator::weightage() const {
  std::lock_guard lock(mutex_);
  return weightage_;
}

bool ProgressEstimator::opensPause(const std::string& viewCommand, WorkflowState state) {
  if (viewCommand == "showQuitConfirmation") return state != WorkflowState::kProductInstall;
  return viewCommand == "showErrorAlert" || viewCommand == "showProxyAlert" ||
         viewCommand == "showPathErrorAlert" || viewCommand == "showCompatibilityErrorAlert";
}

bool ProgressEstimator::closesPause(const std::string& pageMessage) {
  return pageMessage == "quitConfirmationNoClicked" ||
         pageMessage == "quitConfirmationYesClicked" || pageMessage == "retryClicked" ||
         pageMessage == "proxyAlertLoginButtonClicked";
}

}  // namespace mediation
