#include <gtest/gtest.h>

#include "download/engine/workers/WorkerThreadPool.h"
#include "tests/download/engine/support/ScriptedJob.h"

namespace gde {
namespace {

using testing::eventually;
using testing::ScriptedJob;

DownloadSettings quick() {
  DownloadSettings settings;
  settings.workerIdleWait = std::chrono::milliseconds(5);
  return settings;
}

TEST(WorkerThreadPoolTest, HasAtLeastOneThreadAllInactiveAtFirst) {
  JobPoolContainer jobs;
  WorkerThreadPool pool(quick());
  ASSERT_TRUE(pool.init(0, jobs));
  EXPECT_EQ(pool.threadCount(), 1u);
  EXPECT_EQ(pool.activeCount(), 0u);
  EXPECT_EQ(pool.threadState(0), WorkerThread::kPaused);
}

TEST(WorkerThreadPoolTest, ActivatesInIndexOrderAndDeactivatesTheLastActive) {
  JobPoolContainer jobs;
  WorkerThreadPool pool(quick());
  ASSERT_TRUE(pool.init(3, jobs));
  pool.activateNext();
  pool.activateNext();
  EXPECT_EQ(pool.activeCount(), 2u);
  EXPECT_EQ(pool.threadState(0), WorkerThread::kRunning);
  EXPECT_EQ(pool.threadState(1), WorkerThread::kRunning);
  EXPECT_EQ(pool.threadState(2), WorkerThread::kPaused);
  pool.deactivateLast();
  EXPECT_EQ(pool.activeCount(), 1u);
  ASSERT_TRUE(eventually([&] { return pool.threadState(1) == WorkerThread::kPaused; }));
  pool.activateAll();
  EXPECT_EQ(pool.activeCount(), 3u);
}

TEST(WorkerThreadPoolTest, PauseAllReturnsOnlyWhenEveryJobIsPutAside) {
  JobPoolContainer jobs;
  ScriptedJob::Counters counters;
  for (uint32_t id = 0; id < 2; ++id) {
    jobs.enqueueJob(
        std::make_unique<ScriptedJob>(
            id, counters, [](ScriptedJob& job, uint32_t) { return job.runUntilInterrupted(); }),
        JobPoolContainer::kDownload);
  }
  WorkerThreadPool pool(quick());
  ASSERT_TRUE(pool.init(2, jobs));
  pool.activateAll();
  ASSERT_TRUE(eventually([&] { return counters.runs.load() == 2; }));
  pool.pauseAll();
  EXPECT_EQ(jobs.count(JobPoolContainer::kDownload), 2u);
  pool.resumeActive();
  ASSERT_TRUE(eventually([&] { return counters.runs.load() == 4; }));
  pool.stopAll();
  EXPECT_EQ(pool.threadCount(), 0u);
}

}  // namespace
}  // namespace gde
