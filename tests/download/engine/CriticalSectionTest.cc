#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "download/engine/CriticalSection.h"

namespace gde {
namespace {

TEST(CriticalSectionTest, GuardsAnUpdateFromManyThreads) {
  CriticalSection lock;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        std::lock_guard<CriticalSection> guard(lock);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

}  // namespace
}  // namespace gde
