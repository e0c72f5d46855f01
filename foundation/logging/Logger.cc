#include "foundation/logging/Logger.h"

#include "foundation/logging/LoggingCore.h"

namespace pando {
namespace {

std::string textOrEmpty(const char* text) {
  return text ? text : "";
}
const char* orEmpty(const char* text) {
  return text ? text : "";
}

}  // namespace

Logger::Logger(const char* category, const char* label1, const char* label2, const char* module,
               const char* component)
    : core_(&LoggingCore::instance()),
      label1_(textOrEmpty(label1)),
      label2_(textOrEmpty(label2)),
      module_(textOrEmpty(module)),
      component_(textOrEmpty(component)),
      category_(textOrEmpty(category)) {}

Logger::Logger(const char* category) : Logger(category, nullptr, nullptr, nullptr, nullptr) {}

int Logger::setModule(const char* text) {
  if (!text) return 0;
  module_ = text;
  return 1;
}

int Logger::setComponent(const char* text) {
  if (!text) return 0;
  component_ = text;
  return 1;
}

// The variadic front ends differ only in level and tag; one macro keeps them from drifting apart.
#define PANDO_FORWARD(level, tag, source)         \
  do {                                            \
    if (!format) return;                          \
    va_list args;                                 \
    va_start(args, format);                       \
    vlog((level), (tag), (source), format, args); \
    va_end(args);                                 \
  } while (0)

void Logger::trace(const char* format, ...) {
  PANDO_FORWARD(kLogTrace, "", "");
}
void Logger::debug(const char* format, ...) {
  PANDO_FORWARD(kLogDebug, "", "");
}
void Logger::info(const char* format, ...) {
  PANDO_FORWARD(kLogInfo, "", "");
}
void Logger::warn(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogWarn, orEmpty(tag), "");
}
void Logger::error(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogError, orEmpty(tag), "");
}
void Logger::fatal(const char* tag, const char* format, ...) {
  PANDO_FORWARD(kLogFatal, orEmpty(tag), "");
}
void Logger::logAt(int level, const char* tag, const char* source, const char* format, ...) {
  PANDO_FORWARD(level, orEmpty(tag), orEmpty(source));
}

#undef PANDO_FORWARD

void Logger::vlog(int level, const char* tag, const char* source, const char* format,
                  va_list args) {
  vlogAs(level, module_.c_str(), component_.c_str(), tag, source, format, args);
}

void Logger::vlogAs(int level, const char* module, const char* component, const char* tag,
                    const char* source, const char* format, va_list args) {
  if (!format) return;
  core_->dispatch(category_.c_str(), level, label1_.c_str(), label2_.c_str(), orEmpty(module),
                  orEmpty(component), orEmpty(tag), orEmpty(source), format, args, 0);
}

}  // namespace pando
