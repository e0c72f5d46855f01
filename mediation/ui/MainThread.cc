#include "mediation/ui/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

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
  std::thread::id loopThread;        // the last thread that drained; guarded by mutex

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

  std::optional<bool> runIfOwner(const Task& task);

  static gboolean drain(gpointer data) {
    Queue& queue = **static_cast<std::shared_ptr<Queue>*>(data);
    std::deque<Task> batch;
    {
      std::lock_guard lock(queue.mutex);
      queue.drainScheduled = false;
      queue.loopThread = std::this_thread::get_id();
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

namespace {

// How often a waiting invokeSync looks whether it may run its task itself. A thread of some library
// that holds the context for a moment (g_main_context_invoke does) makes the loop's own thread,
// calling from outside the loop, queue its task and wait; letting go of the context wakes nobody,
// so without a look the loop's thread would wait for itself.
constexpr auto kOwnerLook = std::chrono::milliseconds(10);

enum class SyncTask { queued, running, ran, withdrawn };

}  // namespace

// Runs the task here when this thread owns the context (or can take it); nullopt otherwise.
std::optional<bool> MainThread::Queue::runIfOwner(const Task& task) {
  if (!g_main_context_acquire(context)) return std::nullopt;
  bool wasStopped;
  {
    std::lock_guard lock(mutex);
    wasStopped = stopped;
  }
  if (!wasStopped) task();
  g_main_context_release(context);
  return !wasStopped;
}

bool MainThread::invokeSync(Task task) {
  // On the loop's thread, or while no thread runs the loop, the task runs here and now; waiting
  // would wait for ourselves.
  std::shared_ptr<Queue> queue = queue_;
  if (std::optional<bool> ran = queue->runIfOwner(task)) return *ran;
  auto shared = std::make_shared<Task>(std::move(task));
  auto state = std::make_shared<SyncTask>(SyncTask::queued);  // guarded by queue->mutex
  std::unique_lock lock(queue->mutex);
  if (queue->stopped) return false;
  queue->tasks.push_back([queue, state, shared] {
    {
      std::lock_guard claim(queue->mutex);
      if (*state != SyncTask::queued) return;
      *state = SyncTask::running;
    }
    (*shared)();
    std::lock_guard done(queue->mutex);
    *state = SyncTask::ran;
    queue->finished.notify_all();
  });
  queue->scheduleDrainLocked(queue);
  const auto self = std::this_thread::get_id();
  while (!queue->finished.wait_for(lock, kOwnerLook,
                                   [&] { return *state == SyncTask::ran || queue->stopped; })) {
    // Only the loop's own thread (or any, before a loop has drained) takes the task back: another
    // thread waits for the loop, which runs it at its next turn.
    if (*state != SyncTask::queued ||
        (queue->loopThread != std::thread::id() && queue->loopThread != self)) {
      continue;
    }
    lock.unlock();
    const bool owner = g_main_context_acquire(queue->context);
    lock.lock();
    if (!owner) continue;
    // Nobody runs the loop now, so nobody is running the task either.
    const bool take = *state == SyncTask::queued && !queue->stopped;
    if (take) *state = SyncTask::withdrawn;
    lock.unlock();
    if (take) (*shared)();
    g_main_context_release(queue->context);
    if (take) return true;
    lock.lock();
  }
  return *state == SyncTask::ran;
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
