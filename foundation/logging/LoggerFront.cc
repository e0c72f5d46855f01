#include "foundation/logging/LoggerFront.h"

namespace pando {
namespace {

const char* orEmpty(const char* text) {
  return text ? text : "";
}

}  // namespace

// The variadic front ends differ only in level and tag; one macro keeps them from drifting apart.
#define PANDO_FORWARD(level, tag, source)         \
  do {                                            \
    if (!format) return;                          \
    va_list args;                                 \
    va_start(args, format);                       \
    vlog((level), (tag), (source), format, args); \
    va_end(args);                                 \
  } while (0)

void LoggerFront::trace(const char* format, ...) {
  PANDO_FORWARD(kLogTrace, "", "");
}
void LoggerFront::debug(const char* format, ...) {
  PANDO_FORWARD(kLogDebug, "", "");
}
void LoggerFront::info(const char* format, ...) {
  PANDO_FORWARD(kLogInfo, "", "");
}
void LoggerFront::warn(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogWarn, orEmpty(tag), "");
}
void LoggerFront::error(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogError, orEmpty(tag), "");
}
void LoggerFront::fatal(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogFatal, orEmpty(tag), "");
}
void LoggerFront::logAt(int level, const char* tag, const char* source, const char* format, ...) {
  PANDO_FORWARD(level, orEmpty(tag), orEmpty(source));
}

#undef PANDO_FORWARD

}  // namespace pando
