#include "foundation/threads/LockableObject.h"

namespace pando {

LockableObject::LockableObject(const std::string& name) : name_(name), usesMutex_(name.empty()) {}

void LockableObject::lock() {
  if (usesMutex_) {
    mutex_.lock();
  } else {
    recursive_.lock();
  }
}

void LockableObject::unlock() {
  if (usesMutex_) {
    mutex_.unlock();
  } else {
    recursive_.unlock();
  }
}

}  // namespace pando
