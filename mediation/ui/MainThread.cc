#include "mediation/ui/MainThread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace mediation {

// Shared with the idle source that drains it, so a source that fires after the MainThread is gone
// finds a stopped queue rather than a dangling pointer.
struct MainThread::Queue {
  GMainContext* context = nullptr;
  std::mutex mutex;
  std::condition_variable finished;  // an invokeSync task has run, or the loop ended
  std::deque<Task> tasks;            // guarded by mutex
  bool drainScheduled = false;       // guarded by mutex
  bool stopped = false;              // guarded by mutex

  // One idle source at a time drains the queue; tasks queued while it runs wait for the next one,
  // so a task that posts never runs the new task inside itself. An idle source is attached rather
  // than g_main_context_invoke_full used, because that runs at once on the owning thread, ahead
  // of what is already queued.
  void scheduleDrainLocked(const std::shared_ptr<Queue>& self) {
    if (drainScheduled) return;
    drainScheduled = true;
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, &Queue::drain, new std::shared_ptr<Queue>(self),
                          [](gpointer data) { delete static_cast<std::shared_ptr<Queue>*>(data); });
    g_source_attach(source, context);
    g_source_unref(source);
  }

  static gboolean drain(gpointer data) {
    Queue& queue = **static_cast<std::shared_ptr<Queue>*>(data);
    std::deque<Task> batch;
    {
      std::lock_guard lock(queue.mutex);
      queue.drainScheduled = false;
      if (queue.stopped) return G_SOURCE_REMOVE;
      batch.swap(queue.tasks);
    }
    for (Task& task : batch) {
      {
        std::lock_guard lock(queue.mutex);
        if (queue.stopped) break;
      }
      task();
    }
    return G_SOURCE_REMOVE;
  }
};

MainThread::MainThread(GMainContext* context) : queue_(std::make_shared<Queue>()) {
  queue_->context = g_main_context_ref(context ? context : g_main_context_default());
}

MainThread::~MainThread() {
  shutdown();
  g_main_context_unref(queue_->context);
}

bool MainThread::post(Task task) {
  std::lock_guard lock(queue_->mutex);
  if (queue_->stopped) return false;
  queue_->tasks.push_back(std::move(task));
  queue_->scheduleDrainLocked(queue_);
  return true;
}

bool MainThread::invokeSync(Task task) {
  // On the loop's thread, or while no thread runs the loop, the task runs here and now; waiting
  // would wait for ourselves.
  if (g_main_context_acquire(queue_->context)) {
    bool stopped;
    {
      std::lock_guard lock(queue_->mutex);
      stopped = queue_->stopped;
    }
    if (!stopped) task();
    g_main_context_release(queue_->context);
    return !stopped;
  }
  auto ran = std::make_shared<bool>(false);  // guarded by queue_->mutex
  std::shared_ptr<Queue> queue = queue_;
  std::unique_lock lock(queue->mutex);
  if (queue->stopped) return false;
  queue->tasks.push_back([queue, ran, task = std::move(task)] {
    task();
    std::lock_guard done(queue->mutex);
    *ran = true;
    queue->finished.notify_all();
  });
  queue->scheduleDrainLocked(queue);
  queue->finished.wait(lock, [&] { return *ran || queue->stopped; });
  return *ran;
}

void MainThread::shutdown() {
  std::deque<Task> dropped;
  {
    std::lock_guard lock(queue_->mutex);
    queue_->stopped = true;
    dropped.swap(queue_->tasks);
    queue_->finished.notify_all();
  }
}

}  // namespace mediation
