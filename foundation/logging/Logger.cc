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
