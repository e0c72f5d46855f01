#pragma once

#include <glib.h>

#include <functional>
#include <memory>

// The user interface's thread: tasks handed in from any thread run on the thread that iterates
// one GLib main context (the default one unless told), one at a time, in the order they were
// handed in. A task posted from a task runs after everything queued before it, never nested.
//
// Thread rules: post and invokeSync may be called from any thread; shutdown and the destructor on
// the main thread once its loop has ended. Tasks still queued then are dropped unrun (and
// destroyed on the thread that drops them); no task runs after shutdown has returned.
namespace mediation {

class MainThread {
 public:
  using Task = std::function<void()>;

  // The context is referenced for the object's lifetime; null means the default main context.
  explicit MainThread(GMainContext* context = nullptr);
  ~MainThread();
  MainThread(const MainThread&) = delete;
  MainThread& operator=(const MainThread&) = delete;

  // Queues the task. False, and the task dropped, after shutdown.
  bool post(Task task);

  // Runs the task on the main thread and returns once it has run: true. Called on the thread that
  // runs the loop, or while no thread runs it, the task runs at once on the calling thread; so it
  // does once the context is free again when another thread held it for a moment while the
  // caller was the loop's thread outside its loop. False when the loop has ended, before or while
  // waiting: the task then never runs.
  bool invokeSync(Task task);

  // The loop has ended: drops what is queued, wakes every invokeSync with false, and fails every
  // later call. Idempotent.
  void shutdown();

 private:
  struct Queue;
  std::shared_ptr<Queue> queue_;
};

}  // namespace mediation
