#pragma once

#include <thread>
#include <vector>

namespace wendtest {

// Runs work(i) for i in [0, count) on threads of their own, all at once, and joins them.
template <typename Work>
void onThreads(int count, Work work) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(work, i);
  for (auto& thread : threads) thread.join();
}

}  // namespace wendtest
