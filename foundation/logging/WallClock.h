#pragma once

#include <cstdint>

namespace pando {

// The time of day that log lines and rotated file names carry. Tests pass a fixed one.
class WallClock {
 public:
  // Milliseconds since the Unix epoch.
  virtual int64_t nowMs() const = 0;

  // The system's real-time clock; lives as long as the process.
  static const WallClock& system();

 protected:
  ~WallClock() = default;
};

}  // namespace pando
