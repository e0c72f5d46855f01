#include "platform/system/TimeScale.h"

#include <cstdlib>

namespace platform {

double timeScaleFromEnvironment() {
  const char* text = std::getenv("WEND_TIME_SCALE");
  if (!text || !*text) return 1.0;
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(factor > 0.0)) return 1.0;
  return factor;
}

}  // namespace platform
