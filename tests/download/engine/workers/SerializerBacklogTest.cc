#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "download/engine/workers/SerializerBacklog.h"

namespace gde {
namespace {

TEST(SerializerBacklogTest, AWriterWaitsAtTheLimitUntilBytesAreWritten) {
  SerializerBacklog backlog(100);
  backlog.add(100);
  std::atomic<bool> passed{false};
  std::thread downloader([&] {
    EXPECT_TRUE(backlog.waitBelowLimit([] { return false; }, std::chrono::seconds(30)));
    passed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(passed.load());
  backlog.release(1);
  downloader.join();
  EXPECT_EQ(backlog.bytes(), 99u);
}

TEST(SerializerBacklogTest, APauseOrStopEndsTheWait) {
  SerializerBacklog backlog(10);
  backlog.add(10);
  std::atomic<bool> stopping{false};
  std::thread downloader([&] {
    EXPECT_FALSE(backlog.waitBelowLimit([&] { return stopping.load(); }, std::chrono::seconds(30)));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stopping = true;
  backlog.wakeUp();
  downloader.join();
}

}  // namespace
}  // namespace gde
