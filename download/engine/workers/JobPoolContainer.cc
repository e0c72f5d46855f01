#include "download/engine/workers/JobPoolContainer.h"

#include <algorithm>

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

std::deque<std::unique_ptr<BaseJob>>::iterator JobPoolContainer::firstDue(
    Queue& queue, EngineClock::TimePoint& nextDue) const {
  const EngineClock::TimePoint now = clock_.now();
  nextDue = EngineClock::TimePoint::max();
  if (now < queue.heldUntil) {
    if (!queue.jobs.empty()) nextDue = queue.heldUntil;
    return queue.jobs.end();
  }
  for (auto it = queue.jobs.begin(); it != queue.jobs.end(); ++it) {
    const EngineClock::TimePoint due = (*it)->notBefore();
    if (due <= now) return it;
    nextDue = std::min(nextDue, due);
  }
  return queue.jobs.end();
}

bool JobPoolContainer::popNextJob(std::unique_ptr<BaseJob>& out, uint32_t kind) {
  Queue* queue = queueFor(kind);
  if (!queue) return false;
  std::lock_guard lock(queue->mutex);
  EngineClock::TimePoint nextDue;
  const auto due = firstDue(*queue, nextDue);
  if (due == queue->jobs.end()) return false;
  out = std::move(*due);
  queue->jobs.erase(due);
  return true;
}

void JobPoolContainer::holdUntil(uint32_t kind, EngineClock::TimePoint until) {
  Queue* queue = queueFor(kind);
  if (!queue) return;
  std::lock_guard lock(queue->mutex);
  queue->heldUntil = until;
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
      queue->heldUntil = {};
    }
  }
}

void JobPoolContainer::waitForJob(uint32_t kind, std::chrono::nanoseconds timeout,
                                  const std::function<bool()>& interrupted) {
  Queue* queue = queueFor(kind);
  if (!queue) return;
  std::unique_lock lock(queue->mutex);
  EngineClock::TimePoint nextDue;
  if (firstDue(*queue, nextDue) != queue->jobs.end() || interrupted()) return;
  if (nextDue != EngineClock::TimePoint::max()) {
    timeout = std::min<std::chrono::nanoseconds>(timeout, nextDue - clock_.now());
  }
  // Any enqueue or wakeUp ends the wait: the caller looks again.
  queue->filled.wait_for(lock, timeout);
}

void JobPoolContainer::wakeUp() {
  for (Queue* queue : {&download_, &serialization_}) {
    { std::lock_guard lock(queue->mutex); }
    queue->filled.notify_all();
  }
}

}  // namespace gde
