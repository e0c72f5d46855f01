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

namespace {

DownloadSettings::Millis doubled(DownloadSettings::Millis first, DownloadSettings::Millis limit,
                                 uint32_t failures) {
  if (failures == 0) return DownloadSettings::Millis{0};
  DownloadSettings::Millis wait = first;
  for (uint32_t i = 1; i < failures && wait < limit; ++i) wait *= 2;
  return std::min(wait, limit);
}

}  // namespace

DownloadSettings::Millis DownloadSettings::retryWait(uint32_t failures) const {
  return doubled(recheckWait, recheckWaitLimit, failures);
}

DownloadSettings::Millis DownloadSettings::connectRetryWaitAfter(uint32_t failures) const {
  return doubled(connectRetryWait, connectRetryWaitLimit, failures);
}

DownloadSettings DownloadSettings::scaled(double factor) const {
  DownloadSettings out = *this;
  for (Millis* value : {&out.tick, &out.pausedTick, &out.hangTimeout, &out.workerIdleWait,
                        &out.jobStopForceAfter, &out.jobStopAbandonAfter, &out.sizeRetryWait,
                        &out.sizeRetryWindow, &out.singleStreamSilence, &out.recheckWait,
                        &out.recheckWaitLimit, &out.connectRetryWait, &out.connectRetryWaitLimit}) {
    *value = scale(*value, factor);
  }
  for (Millis& value : out.fileCreateRetryWaits) value = scale(value, factor);
  out.retryAfterScale = retryAfterScale * factor;
  return out;
}

}  // namespace gde
