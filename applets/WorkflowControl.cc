#include "applets/WorkflowControl.h"

namespace applets {

void WorkflowControl::reset(ProxyCredentials proxy) {
  std::lock_guard lock(mutex_);
  stop_ = cancel_ = waiting_ = retry_ = false;
  proxy_ = std::move(proxy);
}

void WorkflowControl::requestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

void WorkflowControl::userAction(const std::string& action, const char* proxyUserName,
                                 const char* proxyPassword) {
  if (action != "retry" && action != "cancel") return;
  {
    std::lock_guard lock(mutex_);
    if (proxyUserName) {
      proxy_.userName = proxyUserName;
      proxy_.password = proxyPassword ? proxyPassword : "";
    }
    if (action == "cancel") {
      cancel_ = true;
    } else if (waiting_) {
      retry_ = true;
    }
  }
  changed_.notify_all();
}

bool WorkflowControl::stopRequested() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

bool WorkflowControl::interrupted() const {
  std::lock_guard lock(mutex_);
  return stop_ || cancel_;
}

bool WorkflowControl::pause(std::chrono::milliseconds period) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, period, [this] { return stop_ || cancel_; });
}

void WorkflowControl::expectAnswer() {
  std::lock_guard lock(mutex_);
  waiting_ = true;
  retry_ = false;
}

WorkflowControl::Answer WorkflowControl::awaitAnswer() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stop_ || cancel_ || retry_; });
  waiting_ = false;
  if (stop_) return Answer::kStop;
  if (cancel_) return Answer::kCancel;
  retry_ = false;
  return Answer::kRetry;
}

ProxyCredentials WorkflowControl::proxy() const {
  std::lock_guard lock(mutex_);
  return proxy_;
}

}  // namespace applets
