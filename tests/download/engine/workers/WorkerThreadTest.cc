#include <gtest/gtest.h>

#include "download/engine/workers/WorkerThread.h"
#include "tests/download/engine/support/ScriptedJob.h"

namespace gde {
namespace {

using testing::eventually;
using testing::ScriptedJob;

class WorkerThreadTest : public ::testing::Test {
 protected:
  WorkerThreadTest() {
    settings.workerIdleWait = std::chrono::milliseconds(5);
    settings.jobStopForceAfter = std::chrono::milliseconds(50);
    settings.jobStopAbandonAfter = std::chrono::milliseconds(2000);
  }

  void add(uint32_t id, ScriptedJob::Body body, uint32_t kind = JobPoolContainer::kDownload) {
    pool.enqueueJob(std::make_unique<ScriptedJob>(id, counters, std::move(body)), kind);
  }

  std::unique_ptr<WorkerThread> started(uint32_t kind = JobPoolContainer::kDownload) {
    auto thread = std::make_unique<WorkerThread>(settings);
    EXPECT_TRUE(thread->init(kind, &pool));
    EXPECT_TRUE(thread->run());
    return thread;
  }

  DownloadSettings settings;
  JobPoolContainer pool;
  ScriptedJob::Counters counters;
};

TEST_F(WorkerThreadTest, RefusesAnUnknownKindOrNoContainer) {
  WorkerThread thread(settings);
  EXPECT_FALSE(thread.init(2, &pool));
  EXPECT_FALSE(thread.init(0, nullptr));
  EXPECT_FALSE(thread.run());
}

TEST_F(WorkerThreadTest, RunsNothingUntilResumedThenRunsEveryJobOnce) {
  for (uint32_t id = 0; id < 5; ++id) add(id, [](ScriptedJob&, uint32_t) { return 0u; });
  auto thread = started();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(counters.runs.load(), 0);
  thread->resume();
  ASSERT_TRUE(eventually([&] { return counters.destroyed.load() == 5; }));
  EXPECT_EQ(counters.runs.load(), 5);
  EXPECT_TRUE(thread->stop());
  EXPECT_EQ(thread->threadState(), WorkerThread::kStopped);
}

TEST_F(WorkerThreadTest, AFailedJobIsResetAndRunsAgainUnlessItIsInError) {
  std::atomic<int> attempts{0};
  add(1, [&](ScriptedJob&, uint32_t) { return ++attempts < 3 ? 1u : 0u; });
  add(2, [](ScriptedJob& job, uint32_t) {
    job.setState(BaseJob::kError);
    return 1u;
  });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return counters.destroyed.load() == 2; }));
  EXPECT_EQ(attempts.load(), 3);
  EXPECT_EQ(counters.resets.load(), 3);
  thread->stop();
}

TEST_F(WorkerThreadTest, AFailedSerializationJobGoesToTheFrontOfTheDownloadQueue) {
  add(
      7, [](ScriptedJob&, uint32_t) { return 1u; }, JobPoolContainer::kSerialization);
  add(8, [](ScriptedJob&, uint32_t) { return 0u; });
  auto thread = started(JobPoolContainer::kSerialization);
  thread->resume();
  ASSERT_TRUE(eventually([&] { return pool.count(JobPoolContainer::kDownload) == 2; }));
  thread->stop();
  std::unique_ptr<BaseJob> front;
  ASSERT_TRUE(pool.popNextJob(front, JobPoolContainer::kDownload));
  EXPECT_EQ(front->jobId(), 7u);
}

TEST_F(WorkerThreadTest, AJobDelayedByRetryAfterPausesTheThread) {
  add(1, [](ScriptedJob& job, uint32_t) {
    job.setState(BaseJob::kDelayed);
    return 2u;
  });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return thread->threadState() == WorkerThread::kPaused; }));
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 1u);
  thread->stop();
}

TEST_F(WorkerThreadTest, APauseReachesTheRunningJobWhichIsQueuedAgain) {
  add(1, [](ScriptedJob& job, uint32_t) { return job.runUntilInterrupted(); });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return counters.runs.load() == 1; }));
  thread->pause();
  ASSERT_TRUE(eventually([&] { return thread->threadState() == WorkerThread::kPaused; }));
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 1u);
  thread->stop();
}

// A pause and a resume that both reach the job before it looks: it runs on, to its end, once.
TEST_F(WorkerThreadTest, AJobResumedBeforeItSawItsPauseRunsOnToItsEnd) {
  std::atomic<bool> looked{false}, release{false};
  std::atomic<int32_t> seen{-1};
  add(1, [&](ScriptedJob& job, uint32_t) {
    looked = true;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    seen = job.state();
    if (job.state() != BaseJob::kRunning) return job.runUntilInterrupted();
    job.setState(BaseJob::kComplete);
    return 0u;
  });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return looked.load(); }));
  EXPECT_TRUE(thread->pause());
  EXPECT_TRUE(thread->resume());
  release = true;
  ASSERT_TRUE(eventually([&] { return counters.destroyed.load() == 1; }));
  EXPECT_EQ(seen.load(), BaseJob::kRunning);
  EXPECT_EQ(counters.runs.load(), 1);
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 0u);
  EXPECT_EQ(thread->threadState(), WorkerThread::kRunning);
  thread->stop();
}

TEST_F(WorkerThreadTest, WaitUntilPausedReturnsOnlyOnceTheJobIsQueuedAgain) {
  add(1, [](ScriptedJob& job, uint32_t) { return job.runUntilInterrupted(); });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return counters.runs.load() == 1; }));
  thread->pause();
  thread->waitUntilPaused();
  EXPECT_EQ(thread->threadState(), WorkerThread::kPaused);
  EXPECT_EQ(pool.count(JobPoolContainer::kDownload), 1u);
  thread->stop();
}

TEST_F(WorkerThreadTest, StopForcesAJobThatIgnoresIt) {
  add(1, [](ScriptedJob& job, uint32_t) {
    while (!job.terminated.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.setState(BaseJob::kStopped);
    return 3u;
  });
  auto thread = started();
  thread->resume();
  ASSERT_TRUE(eventually([&] { return counters.runs.load() == 1; }));
  auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(thread->stop());
  EXPECT_EQ(counters.terminations.load(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

}  // namespace
}  // namespace gde
