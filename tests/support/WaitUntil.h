#pragma once

#include <chrono>
#include <thread>

namespace wendtest {

// Polls `condition` until it holds or 10 s have passed (for what other processes do on their
// own time); returns its last value.
template <typename Condition>
bool waitUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace wendtest
