#include "foundation/logging/LogCallback.h"

#include <atomic>
#include <cstdarg>

namespace {

std::atomic<pando::AbstractLogger*> applicationLogger{nullptr};

void logThroughApplicationLogger(int level, const char* module, const char* component,
                                 const char* /*text*/, const char* tag, const char* format, ...)
    __attribute__((format(printf, 6, 7)));

void logThroughApplicationLogger(int level, const char* module, const char* component,
                                 const char* /*text*/, const char* tag, const char* format, ...) {
  pando::AbstractLogger* logger = applicationLogger.load();
  if (!logger || !format) return;
  va_list args;
  va_start(args, format);
  logger->vlogAs(level, module, component, tag, module, format, args);
  va_end(args);
}

}  // namespace

const LogCallbackFn LogCallback = logThroughApplicationLogger;
const char* const kBootstrapperModule = "Bootstrapper";

void setApplicationLogger(pando::AbstractLogger* logger) {
  applicationLogger.store(logger);
}
