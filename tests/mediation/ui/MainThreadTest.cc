#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "mediation/ui/MainThread.h"

namespace mediation {
namespace {

// A main loop on its own thread, standing for the interface's thread.
class LoopThread {
 public:
  LoopThread() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {
    thread_ = std::thread([this] {
      g_main_context_push_thread_default(context_);
      g_main_loop_run(loop_);
      g_main_context_pop_thread_default(context_);
    });
  }
  ~LoopThread() {
    stop();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
  }
  void stop() {
    if (!thread_.joinable()) return;
    // Quit from inside the loop, so it is known to be running when it is asked.
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer loop) {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(source, context_);
    g_source_unref(source);
    thread_.join();
  }
  GMainContext* context() const { return context_; }
  bool onLoop() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  GMainContext* context_;
  GMainLoop* loop_;
  std::thread thread_;
};

TEST(MainThread, TasksFromManyThreadsKeepEachThreadsOrder) {
  LoopThread loop;
  MainThread main(loop.context());
  std::vector<std::pair<int, int>> ran;  // touched only on the loop thread
  std::atomic<bool> offLoop{false};
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(main.post([&, t, i] {
          if (!loop.onLoop()) offLoop.store(true);
          ran.emplace_back(t, i);
        }));
      }
    });
  }
  for (std::thread& sender : senders) sender.join();
  ASSERT_TRUE(main.invokeSync([] {}));  // everything posted before has run
  loop.stop();
  EXPECT_FALSE(offLoop.load());
  ASSERT_EQ(ran.size(), 800u);
  std::vector<int> next(4, 0);
  for (auto [t, i] : ran) EXPECT_EQ(i, next[t]++) << "thread " << t;
}

TEST(MainThread, TaskPostedFromATaskRunsAfterWhatWasQueued) {
  LoopThread loop;
  MainThread main(loop.context());
  std::vector<std::string> order;
  ASSERT_TRUE(main.invokeSync([&] {
    main.post([&] { order.push_back("queued first"); });
    main.post([&] {
      main.post([&] { order.push_back("posted by a task"); });
      order.push_back("queued second");
    });
    // Already on the loop: runs at once instead of waiting for itself.
    EXPECT_TRUE(main.invokeSync([&] { order.push_back("nested sync"); }));
  }));
  ASSERT_TRUE(main.invokeSync([] {}));
  ASSERT_TRUE(main.invokeSync([] {}));
  loop.stop();
  EXPECT_EQ(order, (std::vector<std::string>{"nested sync", "queued first", "queued second",
                                             "posted by a task"}));
}

TEST(MainThread, AfterTheLoopEndsNothingRunsAndWaitersFail) {
  GMainContext* context = g_main_context_new();
  {
    MainThread main(context);
    std::atomic<int> ran{0};
    ASSERT_TRUE(main.post([&] { ++ran; }));
    // This thread holds the context as a busy loop would: the waiter stays blocked until shutdown
    // releases it.
    ASSERT_TRUE(g_main_context_acquire(context));
    std::atomic<bool> waited{true};
    std::thread waiter([&] { waited.store(main.invokeSync([&] { ++ran; })); });
    main.shutdown();
    waiter.join();
    g_main_context_release(context);
    EXPECT_FALSE(waited.load());
    EXPECT_FALSE(main.post([&] { ++ran; }));
    EXPECT_FALSE(main.invokeSync([&] { ++ran; }));
    std::thread([&] { EXPECT_FALSE(main.invokeSync([&] { ++ran; })); }).join();
    while (g_main_context_iteration(context, FALSE)) {
    }
    EXPECT_EQ(ran.load(), 0);
  }
  g_main_context_unref(context);
}

// Without a running loop sync work runs on the caller; a task still queued when the queue goes
// is dropped with its capture, though its source stays attached.
TEST(MainThread, WithoutALoopSyncWorkRunsOnTheCallerAndQueuedTasksGoWithTheQueue) {
  GMainContext* context = g_main_context_new();
  auto held = std::make_shared<int>(0);
  {
    MainThread main(context);
    std::vector<int> order;
    main.post([&] { order.push_back(1); });
    EXPECT_TRUE(main.invokeSync([&] { order.push_back(2); }));
    while (g_main_context_iteration(context, FALSE)) {
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    main.post([held] { ++*held; });
  }
  while (g_main_context_iteration(context, FALSE)) {
  }
  EXPECT_EQ(*held, 0);
  EXPECT_EQ(held.use_count(), 1);
  g_main_context_unref(context);
}

// A library's thread may hold the context for a moment while no loop runs (g_main_context_invoke
// does). The loop's own thread, asking from outside its loop meanwhile, runs its task once the
// context is free instead of waiting for itself; another thread still leaves its task to the loop.
TEST(MainThread, AMomentaryHolderOfTheContextStrandsNoWaiter) {
  GMainContext* context = g_main_context_new();
  {
    MainThread main(context);
    auto holdBriefly = [context] {
      std::atomic<bool> held{false};
      std::thread holder([&held, context] {
        g_main_context_acquire(context);
        held.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        g_main_context_release(context);
      });
      while (!held.load()) std::this_thread::yield();
      return holder;
    };
    // A failure ends the wait through shutdown rather than hanging the test.
    std::promise<void> passed;
    std::thread watchdog([&main, finished = passed.get_future()] {
      if (finished.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
        main.shutdown();
      }
    });
    const auto self = std::this_thread::get_id();
    main.post([] {});
    while (g_main_context_iteration(context, FALSE)) {
    }  // this thread has run the loop: it is the loop's thread now
    std::thread holder = holdBriefly();
    std::thread::id ranOn;
    EXPECT_TRUE(main.invokeSync([&] { ranOn = std::this_thread::get_id(); }));
    EXPECT_EQ(ranOn, self);
    holder.join();
    while (g_main_context_iteration(context, FALSE)) {
    }  // the drain that the task left scheduled

    // The loop's thread holds the context until another thread's task is queued, then lets go.
    EXPECT_TRUE(g_main_context_acquire(context));
    std::atomic<bool> otherDone{false};
    std::thread other([&] {
      EXPECT_TRUE(main.invokeSync([&] { ranOn = std::this_thread::get_id(); }));
      otherDone.store(true);
    });
    while (!g_main_context_pending(context)) std::this_thread::yield();
    g_main_context_release(context);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    while (!otherDone.load()) g_main_context_iteration(context, FALSE);
    other.join();
    EXPECT_EQ(ranOn, self);
    passed.set_value();
    watchdog.join();
  }
  g_main_context_unref(context);
}

}  // namespace
}  // namespace mediation
