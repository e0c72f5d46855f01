#include "foundation/logging/WallClock.h"

#include <chrono>

namespace pando {
namespace {

class SystemClock final : public WallClock {
 public:
  int64_t nowMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

const WallClock& WallClock::system() {
  static const SystemClock clock;
  return clock;
}

}  // namespace pando
