#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/logging/LogCallback.h"
#include "foundation/logging/UtilsLog.h"
#include "tests/core/context/support/ContextFixture.h"

namespace {

using wendtest::ContextTest;

// Threads keep logging, through the log function and the utilities' fallback, while contexts
// come and go: every call either reaches a live logger or is dropped, never a deleted one.
TEST_F(ContextTest, ThreadsLoggingDuringTeardownAreSafe) {
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&stop, &calls, i] {
      while (!stop.load()) {
        LogCallback(pando::kLogInfo, kBootstrapperModule, "Worker", "", "", "worker %d", i);
        pando::utilsLog(nullptr, pando::kLogInfo, "Worker", "utility %d", i);
        calls.fetch_add(1);
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(initialize({}));
    const int before = calls.load();
    while (calls.load() < before + 8) std::this_thread::yield();
    ApplicationContext::Destroy();
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_NE(logText().find("worker"), std::string::npos);
}

}  // namespace
