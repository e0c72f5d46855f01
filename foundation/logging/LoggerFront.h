#pragma once

#include "foundation/logging/AbstractLogger.h"

namespace pando {

// The variadic calls of a logger, each handed on to vlog with its level; a null format logs
// nothing and a null tag or source goes on as the empty text. Implementations supply vlog and
// vlogAs and keep their thread rules.
class LoggerFront : public AbstractLogger {
 public:
  void trace(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void debug(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void info(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void warn(const char* tag, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));
  void error(const char* tag, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));
  void fatal(const char* tag, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));
  void logAt(int level, const char* tag, const char* source, const char* format, ...) override
      __attribute__((format(printf, 5, 6)));

 protected:
  ~LoggerFront() = default;
};

}  // namespace pando
