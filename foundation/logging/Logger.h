#pragma once

#include <string>

#include "foundation/logging/LoggerFront.h"

namespace pando {

class LoggingCore;

// A logger with a category and four labels. Every record goes to LoggingCore::dispatch on the
// caller's thread. The labels are set up by the owner before the logger is shared; setModule and
// setComponent are for single-threaded owners only: shared loggers pass them per record (vlogAs).
class Logger final : public LoggerFront {
 public:
  // A null argument leaves that field empty.
  Logger(const char* category, const char* label1, const char* label2, const char* module,
         const char* component);
  explicit Logger(const char* category);
  virtual ~Logger() = default;

  // Return 0 for a null text (nothing changes), else 1.
  int setModule(const char* text);
  int setComponent(const char* text);

  const std::string& category() const { return category_; }

  void vlog(int level, const char* tag, const char* source, const char* format,
            va_list args) override __attribute__((format(printf, 5, 0)));
  void vlogAs(int level, const char* module, const char* component, const char* tag,
              const char* source, const char* format, va_list args) override
      __attribute__((format(printf, 7, 0)));

 private:
  LoggingCore* core_;
  std::string label1_;
  std::string label2_;
  std::string module_;
  std::string component_;
  std::string category_;
};

}  // namespace pando
