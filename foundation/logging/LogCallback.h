#pragma once

#include "foundation/logging/AbstractLogger.h"

// The installer core's process-wide log function, as the layers below the core reach it. The
// slot is set when the program is loaded and never changes: calls before the core's application
// context hands over its logger (setApplicationLogger) write nothing. Any thread.
//
// Arguments: level, module text (kBootstrapperModule), component, a text the function ignores,
// error tag, printf format and its arguments. The record carries the module and component with
// it, the tag as its tag and the module text as its source.
using LogCallbackFn = void (*)(int level, const char* module, const char* component,
                               const char* text, const char* tag, const char* format, ...);

extern const LogCallbackFn LogCallback;
extern const char* const kBootstrapperModule;

// The core's application context hands its logger over once it holds one, and null before the
// logger goes away.
void setApplicationLogger(pando::AbstractLogger* logger);
