#include "platform/system/TimeScale.h"

#include <cstdlib>

#include "platform/system/DeveloperOverrides.h"

namespace platform {

double timeScaleFromEnvironment() {
  const std::optional<std::string> configured = developerOverride("WEND_TIME_SCALE");
  if (!configured) return 1.0;
  const char* text = configured->c_str();
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(factor > 0.0)) return 1.0;
  return factor;
}

}  // namespace platform
