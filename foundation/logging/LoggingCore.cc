#include "foundation/logging/LoggingCore.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "foundation/logging/LogTargetBase.h"

namespace pando {

LoggingCore::RegistryLock::RegistryLock() {
  pthread_rwlockattr_t attributes;
  pthread_rwlockattr_init(&attributes);
  pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
  pthread_rwlock_init(&lock_, &attributes);
  pthread_rwlockattr_destroy(&attributes);
}

LoggingCore::RegistryLock::~RegistryLock() {
  pthread_rwlock_destroy(&lock_);
}
void LoggingCore::RegistryLock::lock() {
  pthread_rwlock_wrlock(&lock_);
}
void LoggingCore::RegistryLock::unlock() {
  pthread_rwlock_unlock(&lock_);
}
void LoggingCore::RegistryLock::lock_shared() {
  pthread_rwlock_rdlock(&lock_);
}
void LoggingCore::RegistryLock::unlock_shared() {
  pthread_rwlock_unlock(&lock_);
}

LoggingCore& LoggingCore::instance() {
  static LoggingCore core;
  return core;
}

bool LoggingCore::addTarget(LogTargetBase* target) {
  if (!target || !target->init()) return false;
  std::unique_lock lock(mutex_);
  auto& sinks = targets_[target->getCategory()];
  if (std::find(sinks.begin(), sinks.end(), target) != sinks.end()) return true;
  target->incrementUseCount();
  sinks.push_back(target);
  return true;
}

bool LoggingCore::removeTarget(LogTargetBase* target) {
  if (!target) return false;
  std::unique_lock lock(mutex_);
  auto category = targets_.find(target->getCategory());
  if (category == targets_.end()) return true;
  auto& sinks = category->second;
  auto entry = std::find(sinks.begin(), sinks.end(), target);
  if (entry == sinks.end()) return false;
  sinks.erase(entry);
  return target->decrementUseCount() == 0 ? target->close() : true;
}

void LoggingCore::dispatch(const char* category, int level, const char* label1, const char* label2,
                           const char* module, const char* component, const char* tag,
                           const char* source, const char* format, va_list args, int64_t timeMs) {
  va_list own;
  va_copy(own, args);
  write(category, level, label1, label2, module, component, tag, source, format, &own, timeMs);
  va_end(own);
}

void LoggingCore::log(const char* category, int level, const char* label1, const char* label2,
                      const char* module, const char* component, const char* tag,
                      const char* source, const char* message, int64_t timeMs) {
  write(category, level, label1, label2, module, component, tag, source, message, nullptr, timeMs);
}

void LoggingCore::write(const char* category, int level, const char* label1, const char* label2,
                        const char* module, const char* component, const char* tag,
                        const char* source, const char* format, va_list* args, int64_t timeMs) {
  if (!category) return;
  std::shared_lock lock(mutex_);
  auto found = targets_.find(category);
  if (found == targets_.end()) return;
  for (LogTargetBase* target : found->second) {
    if (!args) {
      target->write(level, label1, label2, module, component, tag, source, format, nullptr, timeMs);
      continue;
    }
    // A va_list is consumed by use: every sink gets a fresh copy.
    va_list copy;
    va_copy(copy, *args);
    target->write(level, label1, label2, module, component, tag, source, format, &copy, timeMs);
    va_end(copy);
  }
}

}  // namespace pando
