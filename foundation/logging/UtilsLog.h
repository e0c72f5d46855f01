#pragma once

#include <cstdarg>

#include "foundation/logging/AbstractLogger.h"

namespace pando {

// Where the foundation's utilities log. With a logger: logger->logAt(level, "", component, ...).
// Without one: the process-wide hook, else the process-wide default logger, else nothing. Both
// slots start empty; nothing in wend sets them, they exist for an embedding application.
using PandoUtilsLogHookFn = void (*)(int level, const char* module, const char* component,
                                     const char* text, const char* tag, const char* format, ...);

void setPandoUtilsLogHook(PandoUtilsLogHookFn hook);
void setPandoUtilsDefaultLogger(AbstractLogger* logger);

void utilsLog(AbstractLogger* logger, int level, const char* component, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void utilsVlog(AbstractLogger* logger, int level, const char* component, const char* format,
               va_list args) __attribute__((format(printf, 4, 0)));

}  // namespace pando
