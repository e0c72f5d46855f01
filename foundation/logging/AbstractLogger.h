#pragma once

#include <cstdarg>

namespace pando {

// Log levels: plain integers, higher is more severe. Sinks name any other value "ALL".
enum LogLevel : int {
  kLogTrace = 10,
  kLogDebug = 20,
  kLogInfo = 30,
  kLogWarn = 40,
  kLogError = 50,
  kLogFatal = 60,
  kLogNone = 70,
};

// The front end that components hold. A null format logs nothing; a null tag or source is the
// empty text. Implementations must be callable from any thread.
//
// vlogAs lets one logger serve many components: the module and component travel with the record
// instead of being written into the logger's shared label fields.
class AbstractLogger {
 public:
  virtual void trace(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
  virtual void debug(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
  virtual void info(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
  virtual void warn(const char* tag, const char* format, ...)
      __attribute__((format(printf, 3, 4))) = 0;
  virtual void error(const char* tag, const char* format, ...)
      __attribute__((format(printf, 3, 4))) = 0;
  virtual void fatal(const char* tag, const char* format, ...)
      __attribute__((format(printf, 3, 4))) = 0;
  virtual void logAt(int level, const char* tag, const char* source, const char* format, ...)
      __attribute__((format(printf, 5, 6))) = 0;
  virtual void vlog(int level, const char* tag, const char* source, const char* format,
                    va_list args) __attribute__((format(printf, 5, 0))) = 0;
  virtual void vlogAs(int level, const char* module, const char* component, const char* tag,
                      const char* source, const char* format, va_list args)
      __attribute__((format(printf, 7, 0))) = 0;

 protected:
  // Owners destroy a logger through its concrete type.
  ~AbstractLogger() = default;
};

}  // namespace pando
