#include "core/launch/LaunchSettings.h"

#include <cstdint>

#include "platform/system/TimeScale.h"

namespace {

LaunchSettings::Millis scale(LaunchSettings::Millis value, double factor) {
  return LaunchSettings::Millis{static_cast<int64_t>(static_cast<double>(value.count()) * factor)};
}

}  // namespace

LaunchSettings LaunchSettings::fromEnvironment() {
  return LaunchSettings{}.scaled(platform::timeScaleFromEnvironment());
}

LaunchSettings LaunchSettings::scaled(double factor) const {
  LaunchSettings out = *this;
  for (Millis* value : {&out.parentPoll, &out.productPoll, &out.notificationWait}) {
    *value = scale(*value, factor);
  }
  return out;
}
