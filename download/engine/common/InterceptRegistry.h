#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "download/engine/DLETypes.h"

namespace gde {

// The client callbacks of one download, per engine event, in registration order (not owned: a
// client keeps its intercept alive until the handle is closed). Registration and delivery share
// one lock, so intercepts are called one at a time, from whichever engine thread raised the event;
// an intercept must not raise an event or register another intercept.
class InterceptRegistry {
 public:
  // False for a null intercept. The same intercept may be registered several times.
  bool add(int32_t event, IDleIntercept* intercept);
  // Calls the event's intercepts in order until one returns IDleIntercept::kStopDelivery; the
  // result of the last one called, 0 when none is registered.
  int32_t notify(int32_t event, const void* data, uint32_t size);

 private:
  std::mutex mutex_;
  std::map<int32_t, std::vector<IDleIntercept*>> intercepts_;  // guarded by mutex_
};

}  // namespace gde
