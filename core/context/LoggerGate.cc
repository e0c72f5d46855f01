#include "core/context/LoggerGate.h"

#include <mutex>

#define LOGGER_GATE_FORWARD(level, tag, source) \
  va_list args;                                 \
  va_start(args, format);                       \
  vlog(level, tag, source, format, args);       \
  va_end(args)

void LoggerGate::open(pando::AbstractLogger* target) {
  std::unique_lock lock(mutex_);
  target_ = target;
}

void LoggerGate::trace(const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogTrace, "", "");
}
void LoggerGate::debug(const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogDebug, "", "");
}
void LoggerGate::info(const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogInfo, "", "");
}
void LoggerGate::warn(const char* tag, const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogWarn, tag, "");
}
void LoggerGate::error(const char* tag, const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogError, tag, "");
}
void LoggerGate::fatal(const char* tag, const char* format, ...) {
  LOGGER_GATE_FORWARD(pando::kLogFatal, tag, "");
}
void LoggerGate::logAt(int level, const char* tag, const char* source, const char* format, ...) {
  LOGGER_GATE_FORWARD(level, tag, source);
}

#undef LOGGER_GATE_FORWARD

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
