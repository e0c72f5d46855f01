#include "core/launch/LaunchSettings.h"

#include <cstdint>
#include <cstdlib>

namespace {

LaunchSettings::Millis scale(LaunchSettings::Millis value, double factor) {
  return LaunchSettings::Millis{static_cast<int64_t>(static_cast<double>(value.count()) * factor)};
}

}  // namespace

LaunchSettings LaunchSettings::fromEnvironment() {
  LaunchSettings settings;
  const char* text = std::getenv("WEND_TIME_SCALE");
  if (!text || !*text) return settings;
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(factor > 0.0)) return settings;
  return settings.scaled(factor);
}

LaunchSettings LaunchSettings::scaled(double factor) const {
  LaunchSettings out = *this;
  for (Millis* value : {&out.parentPoll, &out.productPoll, &out.notificationWait}) {
    *value = scale(*value, factor);
  }
  return out;
}
