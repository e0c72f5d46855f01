#pragma once

#include <atomic>
#include <chrono>

#include "download/engine/common/EngineClock.h"

namespace gde::testing {

// A clock that moves only when the test says so.
class FakeEngineClock final : public EngineClock {
 public:
  TimePoint now() const override { return TimePoint{std::chrono::nanoseconds{now_.load()}}; }
  void advance(std::chrono::nanoseconds by) { now_ += by.count(); }

 private:
  std::atomic<int64_t> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
};

}  // namespace gde::testing
