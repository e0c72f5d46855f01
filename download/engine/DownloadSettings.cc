#include "download/engine/DownloadSettings.h"

#include <algorithm>

#include "platform/system/TimeScale.h"

namespace gde {

namespace {

DownloadSettings::Millis scale(DownloadSettings::Millis value, double factor) {
  return DownloadSettings::Millis{
      static_cast<int64_t>(static_cast<double>(value.count()) * factor)};
}

}  // namespace

DownloadSettings DownloadSettings::fromEnvironment() {
  return DownloadSettings{}.scaled(platform::timeScaleFromEnvironment());
}

DownloadSettings::Millis DownloadSettings::retryWait(uint32_t failures) const {
  if (failures == 0) return Millis{0};
  Millis wait = recheckWait;
  for (uint32_t i = 1; i < failures && wait < recheckWaitLimit; ++i) wait *= 2;
  return std::min(wait, recheckWaitLimit);
}

DownloadSettings DownloadSettings::scaled(double factor) const {
  DownloadSettings out = *this;
  for (Millis* value :
       {&out.tick, &out.pausedTick, &out.hangTimeout, &out.workerIdleWait, &out.jobStopForceAfter,
        &out.jobStopAbandonAfter, &out.sizeRetryWait, &out.sizeRetryWindow,
        &out.singleStreamSilence, &out.recheckWait, &out.recheckWaitLimit}) {
    *value = scale(*value, factor);
  }
  for (Millis& value : out.fileCreateRetryWaits) value = scale(value, factor);
  out.retryAfterScale = retryAfterScale * factor;
  return out;
}

}  // namespace gde
