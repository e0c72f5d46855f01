#include "download/engine/common/InterceptRegistry.h"

namespace gde {

bool InterceptRegistry::add(int32_t event, IDleIntercept* intercept) {
  if (!intercept) return false;
  std::lock_guard lock(mutex_);
  intercepts_[event].push_back(intercept);
  return true;
}

int32_t InterceptRegistry::notify(int32_t event, const void* data, uint32_t size) {
  std::lock_guard lock(mutex_);
  auto found = intercepts_.find(event);
  if (found == intercepts_.end()) return 0;
  int32_t result = 0;
  for (IDleIntercept* intercept : found->second) {
    result = intercept->onEvent(event, data, size);
    if (result == IDleIntercept::kStopDelivery) break;
  }
  return result;
}

}  // namespace gde
