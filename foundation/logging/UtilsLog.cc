#include "foundation/logging/UtilsLog.h"

#include <atomic>
#include <cstdio>

namespace pando {
namespace {

std::atomic<PandoUtilsLogHookFn> logHook{nullptr};
std::atomic<AbstractLogger*> defaultLogger{nullptr};

}  // namespace

void setPandoUtilsLogHook(PandoUtilsLogHookFn hook) {
  logHook.store(hook);
}
void setPandoUtilsDefaultLogger(AbstractLogger* logger) {
  defaultLogger.store(logger);
}

void utilsLog(AbstractLogger* logger, int level, const char* component, const char* format, ...) {
  va_list args;
  va_start(args, format);
  utilsVlog(logger, level, component, format, args);
  va_end(args);
}

void utilsVlog(AbstractLogger* logger, int level, const char* component, const char* format,
               va_list args) {
  if (!format) return;
  if (logger) {
    logger->vlog(level, "", component, format, args);
    return;
  }
  if (PandoUtilsLogHookFn hook = logHook.load()) {
    // The hook is variadic, so the message is formatted here and passed as "%s".
    char message[4096];
    vsnprintf(message, sizeof message, format, args);
    hook(level, "PandoUtils", component, "", "", "%s", message);
    return;
  }
  if (AbstractLogger* fallback = defaultLogger.load()) {
    fallback->vlog(level, "", component, format, args);
  }
}

}  // namespace pando
