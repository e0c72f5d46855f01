#include "download/engine/DownloadSettings.h"

#include <cstdlib>

namespace gde {

namespace {

DownloadSettings::Millis scale(DownloadSettings::Millis value, double factor) {
  return DownloadSettings::Millis{
      static_cast<int64_t>(static_cast<double>(value.count()) * factor)};
}

}  // namespace

DownloadSettings DownloadSettings::fromEnvironment() {
  DownloadSettings settings;
  const char* text = std::getenv("WEND_TIME_SCALE");
  if (!text || !*text) return settings;
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(factor > 0.0)) return settings;
  return settings.scaled(factor);
}

DownloadSettings DownloadSettings::scaled(double factor) const {
  DownloadSettings out = *this;
  for (Millis* value : {&out.tick, &out.pausedTick, &out.hangTimeout, &out.workerIdleWait,
                        &out.jobStopForceAfter, &out.jobStopAbandonAfter, &out.sizeRetryWait,
                        &out.sizeRetryWindow, &out.singleStreamSilence}) {
    *value = scale(*value, factor);
  }
  for (Millis& value : out.fileCreateRetryWaits) value = scale(value, factor);
  out.retryAfterScale = retryAfterScale * factor;
  return out;
}

}  // namespace gde
