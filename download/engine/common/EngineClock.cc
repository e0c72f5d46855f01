#include "download/engine/common/EngineClock.h"

namespace gde {

namespace {

class SteadyEngineClock final : public EngineClock {
 public:
  TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace

EngineClock& EngineClock::steady() {
  static SteadyEngineClock clock;
  return clock;
}

}  // namespace gde
