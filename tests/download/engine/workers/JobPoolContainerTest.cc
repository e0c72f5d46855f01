#include <gtest/gtest.h>

#include <thread>

#include "download/engine/workers/JobPoolContainer.h"
#include "tests/download/engine/support/FakeEngineClock.h"
#include "tests/download/engine/support/ScriptedJob.h"

namespace gde {
namespace {

using testing::FakeEngineClock;
using testing::ScriptedJob;

std::unique_ptr<BaseJob> job(uint32_t id, ScriptedJob::Counters& counters) {
  return std::make_unique<ScriptedJob>(id, counters, [](ScriptedJob&, uint32_t) { return 0u; });
}

TEST(JobPoolContainerTest, KeepsOneOrderedQueuePerKind) {
  JobPoolContainer pool;
  ScriptedJob::Counters counters;
  EXPECT_TRUE(pool.enqueueJob(job(1, counters), JobPoolContainer::kDownload));
  EXPECT_TRUE(pool.enqueueJob(job(2, counters), JobPoolContainer::kDownload));
  EXPECT_TRUE(pool.enqueueJobAtFront(job(3, counters), JobPoolContainer::kDownload));
  EXPECT_TRUE(pool.enqueueJob(job(4, counters), JobPoolContainer::kSerialization));
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 3u);
  EXPECT_EQ(pool.count(JobPoolContainer::kSerialization), 1u);

  std::unique_ptr<BaseJob> out;
  for (uint32_t expected : {3u, 1u, 2u}) {
    ASSERT_TRUE(pool.popNextJob(out, JobPoolContainer::kDownload));
    EXPECT_EQ(out->jobId(), expected);
  }
  EXPECT_FALSE(pool.popNextJob(out, JobPoolContainer::kDownload));
}

TEST(JobPoolContainerTest, RefusesANullJobAndDropsAnUnknownKind) {
  JobPoolContainer pool;
  ScriptedJob::Counters counters;
  EXPECT_FALSE(pool.enqueueJob(nullptr, JobPoolContainer::kDownload));
  EXPECT_TRUE(pool.enqueueJob(job(1, counters), 2));
  EXPECT_EQ(counters.destroyed.load(), 1);
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 0u);
}

TEST(JobPoolContainerTest, ClearDestroysEveryQueuedJob) {
  ScriptedJob::Counters counters;
  JobPoolContainer pool;
  pool.enqueueJob(job(1, counters), JobPoolContainer::kDownload);
  pool.enqueueJob(job(2, counters), JobPoolContainer::kSerialization);
  pool.clear();
  EXPECT_EQ(counters.destroyed.load(), 2);
}

TEST(JobPoolContainerTest, AWaiterWakesForANewJobOrAnInterruption) {
  JobPoolContainer pool;
  ScriptedJob::Counters counters;
  std::thread producer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pool.enqueueJob(job(1, counters), JobPoolContainer::kSerialization);
  });
  auto before = std::chrono::steady_clock::now();
  pool.waitForJob(JobPoolContainer::kSerialization, std::chrono::seconds(30), [] { return false; });
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  producer.join();

  std::atomic<bool> interrupted{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    interrupted = true;
    pool.wakeUp();
  });
  before = std::chrono::steady_clock::now();
  pool.waitForJob(JobPoolContainer::kDownload, std::chrono::seconds(30),
                  [&] { return interrupted.load(); });
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  stopper.join();
}

TEST(JobPoolContainerTest, AJobWaitingOutItsBackOffIsPassedOverUntilItFallsDue) {
  FakeEngineClock clock;
  JobPoolContainer pool(clock);
  ScriptedJob::Counters counters;
  auto waiting = job(1, counters);
  waiting->setNotBefore(clock.now() + std::chrono::seconds(10));
  pool.enqueueJobAtFront(std::move(waiting), JobPoolContainer::kDownload);
  pool.enqueueJob(job(2, counters), JobPoolContainer::kDownload);

  std::unique_ptr<BaseJob> out;
  ASSERT_TRUE(pool.popNextJob(out, JobPoolContainer::kDownload));
  EXPECT_EQ(out->jobId(), 2u);
  EXPECT_FALSE(pool.popNextJob(out, JobPoolContainer::kDownload)) << "not due yet";
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 1u);
  clock.advance(std::chrono::seconds(10));
  ASSERT_TRUE(pool.popNextJob(out, JobPoolContainer::kDownload));
  EXPECT_EQ(out->jobId(), 1u);
}

TEST(JobPoolContainerTest, AWaiterWakesWhenAQueuedJobFallsDue) {
  JobPoolContainer pool;
  ScriptedJob::Counters counters;
  auto waiting = job(1, counters);
  waiting->setNotBefore(EngineClock::steady().now() + std::chrono::milliseconds(50));
  pool.enqueueJob(std::move(waiting), JobPoolContainer::kDownload);
  const auto before = std::chrono::steady_clock::now();
  std::unique_ptr<BaseJob> out;
  while (!pool.popNextJob(out, JobPoolContainer::kDownload)) {
    pool.waitForJob(JobPoolContainer::kDownload, std::chrono::seconds(30), [] { return false; });
    ASSERT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  }
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace gde
