#pragma once

#include <chrono>
#include <cstdint>

namespace gde {

// The engine's source of time. Every idle time, back-off and hang watch is measured on the
// monotonic clock, so a change of the wall clock never cancels or stretches a download. Tests
// replace it to step time by hand. Implementations are callable from any thread.
class EngineClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~EngineClock() = default;
  virtual TimePoint now() const = 0;

  // The process-wide monotonic clock.
  static EngineClock& steady();
};

}  // namespace gde
