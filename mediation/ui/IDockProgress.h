#pragma once

#include <cstdint>

// The overall percentage shown on the application's icon. Implementations are called from the
// thread that reports progress and hand their drawing on themselves.
namespace mediation {

class IDockProgress {
 public:
  virtual ~IDockProgress() = default;
  // `value` out of the maximum the implementation was made with; 0 hides the bar.
  virtual void update(uint64_t value) = 0;
};

// For processes without a window.
class NullDockProgress final : public IDockProgress {
 public:
  void update(uint64_t) override {}
};

}  // namespace mediation
