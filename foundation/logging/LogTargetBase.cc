#include "foundation/logging/LogTargetBase.h"

namespace pando {

bool LogTargetBase::setCategory(const char* category) {
  if (!category) return false;
  std::lock_guard lock(mutex_);
  category_ = category;
  return true;
}

std::string LogTargetBase::getCategory() const {
  std::lock_guard lock(mutex_);
  return category_;
}

int LogTargetBase::incrementUseCount() {
  std::lock_guard lock(mutex_);
  return ++useCount_;
}

int LogTargetBase::decrementUseCount() {
  std::lock_guard lock(mutex_);
  if (useCount_ > 0) --useCount_;
  return useCount_;
}

int LogTargetBase::getUseCount() const {
  std::lock_guard lock(mutex_);
  return useCount_;
}

}  // namespace pando
