#include "download/engine/EngineClock.h"

namespace gde {

namespace {

class SteadyEngineClock final : public EngineClock {
 public:
  TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace

uint64_t EngineClock::nowSeconds() const {
  auto since = std::chrono::duration_cast<std::chrono::seconds>(now().time_since_epoch());
  return static_cast<uint64_t>(since.count()) + 1;
}

EngineClock& EngineClock::steady() {
  static SteadyEngineClock clock;
  return clock;
}

}  // namespace gde
