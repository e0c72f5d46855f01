#include "platform/system/MacOSVersion.h"

#include <cstdlib>

namespace platform {

std::string macOSVersionText() {
  const char* configured = std::getenv("WEND_OS_VERSION");
  return configured && *configured ? configured : "10.15.7";
}

}  // namespace platform
