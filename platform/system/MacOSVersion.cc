#include "platform/system/MacOSVersion.h"

#include "platform/system/DeveloperOverrides.h"

namespace platform {

std::string macOSVersionText() {
  return developerOverride("WEND_OS_VERSION").value_or("10.15.7");
}

}  // namespace platform
