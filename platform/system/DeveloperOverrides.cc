#include "platform/system/DeveloperOverrides.h"

#include <cstdlib>

#ifndef WEND_DEVELOPER_OVERRIDES
#error "the build must say whether developer overrides are honoured (0 or 1)"
#endif

namespace platform {

bool developerOverridesEnabled() {
  return WEND_DEVELOPER_OVERRIDES != 0;
}

std::optional<std::string> developerOverride(const char* name) {
  if (!developerOverridesEnabled()) return std::nullopt;
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace platform
