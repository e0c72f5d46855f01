#include <gtest/gtest.h>

#include <condition_variable>
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

TEST(CriticalSectionTest, WorksWithAConditionVariable) {
  CriticalSection lock;
  std::condition_variable_any changed;
  bool ready = false;
  std::thread setter([&] {
    std::lock_guard<CriticalSection> guard(lock);
    ready = true;
    changed.notify_all();
  });
  {
    std::unique_lock<CriticalSection> guard(lock);
    changed.wait(guard, [&] { return ready; });
  }
  setter.join();
  EXPECT_TRUE(ready);
}

}  // namespace
}  // namespace gde
