#include "services/common/ServiceLog.h"

#include <cstdarg>
#include <cstdio>

#include "foundation/logging/LogCallback.h"

void serviceLog(int level, const char* component, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  LogCallback(level, kBootstrapperModule, component, "", "", "%s", text);
}
