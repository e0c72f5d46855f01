#include "services/analytics/EventSender.h"

#include <algorithm>
#include <iterator>

EventSender::EventSender(Post post, Settings settings)
    : post_(std::move(post)), settings_(settings) {}

EventSender::~EventSender() {
  stop();
}

bool EventSender::start() {
  std::lock_guard lock(mutex_);
  if (running_ || stopping_) return running_;
  running_ = thread_.startThread(&EventSender::threadMain, this);
  return running_;
}

void EventSender::enqueue(AnalyticsEvent event) {
  std::lock_guard lock(mutex_);
  if (!running_ || stopping_) return;
  if (queue_.size() >= settings_.capacity) queue_.pop_front();
  queue_.push_back(std::move(event));
}

void EventSender::stop() {
  // A second caller returns only once the first has joined the thread.
  std::lock_guard stopping(stopMutex_);
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    deadline_ = std::chrono::steady_clock::now() + settings_.flushLimit;
    if (!running_) return;
  }
  wake_.notify_all();
  thread_.stopThread();
  std::lock_guard lock(mutex_);
  running_ = false;
  queue_.clear();
}

void* EventSender::threadMain(void* self) {
  static_cast<EventSender*>(self)->run();
  return nullptr;
}

void EventSender::run() {
  std::unique_lock lock(mutex_);
  // One pass after the stop as well: that is the flush, even when the stop came first.
  for (bool last = false; !last;) {
    last = wake_.wait_for(lock, settings_.tick, [this] { return stopping_; });
    sendQueued(lock);
  }
}

void EventSender::sendQueued(std::unique_lock<std::mutex>& lock) {
  while (!queue_.empty()) {
    const int timeout = nextTimeout();
    if (timeout <= 0) return;
    const size_t count = std::min(queue_.size(), settings_.batchLimit);
    std::vector<AnalyticsEvent> batch(std::make_move_iterator(queue_.begin()),
                                      std::make_move_iterator(queue_.begin() + count));
    queue_.erase(queue_.begin(), queue_.begin() + count);
    lock.unlock();
    const bool sent = post_(batch, timeout);
    lock.lock();
    if (sent) continue;
    queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
    while (queue_.size() > settings_.capacity) queue_.pop_front();
    return;
  }
}

int EventSender::nextTimeout() const {
  if (!stopping_) return settings_.postTimeoutSeconds;
  const auto left = std::chrono::duration_cast<std::chrono::seconds>(
      deadline_ - std::chrono::steady_clock::now());
  return static_cast<int>(std::min<long long>(left.count(), settings_.postTimeoutSeconds));
}
