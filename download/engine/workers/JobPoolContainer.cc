#include "download/engine/workers/JobPoolContainer.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

JobPoolContainer::Queue* JobPoolContainer::queueFor(uint32_t kind) {
  if (kind == kDownload) return &download_;
  if (kind == kSerialization) return &serialization_;
  return nullptr;
}

const JobPoolContainer::Queue& JobPoolContainer::queueForCount(uint32_t kind) const {
  return kind == kDownload ? download_ : serialization_;
}

bool JobPoolContainer::push(std::unique_ptr<BaseJob> job, uint32_t kind, bool atFront,
                            const char* nullMessage) {
  if (!job) {
    engineLog(pando::kLogError, "JobPoolContainer", "%s", nullMessage);
    return false;
  }
  Queue* queue = queueFor(kind);
  if (!queue) return true;
  {
    std::lock_guard lock(queue->mutex);
    if (atFront) {
      queue->jobs.push_front(std::move(job));
    } else {
      queue->jobs.push_back(std::move(job));
    }
  }
  queue->filled.notify_one();
  return true;
}

bool JobPoolContainer::enqueueJob(std::unique_ptr<BaseJob> job, uint32_t kind) {
  return push(std::move(job), kind, false, "JobPoolContainer::enqueueJob : invalid parameters. ");
}

bool JobPoolContainer::enqueueJobAtFront(std::unique_ptr<BaseJob> job, uint32_t kind) {
  return push(std::move(job), kind, true,
              "JobPoolContainer::enqueueJobAtFront : invalid parameters. ");
}

bool JobPoolContainer::popNextJob(std::unique_ptr<BaseJob>& out, uint32_t kind) {
  Queue* queue = queueFor(kind);
  if (!queue) return false;
  std::lock_guard lock(queue->mutex);
  if (queue->jobs.empty()) return false;
  out = std::move(queue->jobs.front());
  queue->jobs.pop_front();
  return true;
}

uint32_t JobPoolContainer::count(uint32_t kind) const {
  const Queue& queue = queueForCount(kind);
  std::lock_guard lock(queue.mutex);
  return static_cast<uint32_t>(queue.jobs.size());
}

void JobPoolContainer::clear() {
  for (Queue* queue : {&download_, &serialization_}) {
    std::deque<std::unique_ptr<BaseJob>> dropped;
    {
      std::lock_guard lock(queue->mutex);
      dropped.swap(queue->jobs);
    }
  }
}

void JobPoolContainer::waitForJob(uint32_t kind, std::chrono::nanoseconds timeout,
                                  const std::function<bool()>& interrupted) {
  Queue* queue = queueFor(kind);
  if (!queue) return;
  std::unique_lock lock(queue->mutex);
  queue->filled.wait_for(lock, timeout, [&] { return !queue->jobs.empty() || interrupted(); });
}

void JobPoolContainer::wakeUp() {
  for (Queue* queue : {&download_, &serialization_}) {
    { std::lock_guard lock(queue->mutex); }
    queue->filled.notify_all();
  }
}

}  // namespace gde
