#include "core/context/LoggerGate.h"

#include <mutex>

void LoggerGate::open(pando::AbstractLogger* target) {
  std::unique_lock lock(mutex_);
  target_ = target;
}

void LoggerGate::vlog(int level, const char* tag, const char* source, const char* format,
                      va_list args) {
  std::shared_lock lock(mutex_);
  if (!target_) return;
  if (module_) {
    target_->vlogAs(level, module_, source, tag, module_, format, args);
  } else {
    target_->vlog(level, tag, source, format, args);
  }
}

void LoggerGate::vlogAs(int level, const char* module, const char* component, const char* tag,
                        const char* source, const char* format, va_list args) {
  std::shared_lock lock(mutex_);
  if (target_) target_->vlogAs(level, module, component, tag, source, format, args);
}
