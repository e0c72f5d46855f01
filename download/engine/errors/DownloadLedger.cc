#include "download/engine/errors/DownloadLedger.h"

namespace gde {

DownloadLedger::DownloadLedger(RetrySettings retry)
    : retry_(retry), tracker_(std::make_unique<ErrorRetryTracker>(retry)) {}

void DownloadLedger::startRun() {
  progressBytes_.store(0);
  progressState_.store(kDleStateStopped);
  std::lock_guard lock(mutex_);
  tracker_ = std::make_unique<ErrorRetryTracker>(retry_);
  pendingErrors_.clear();
}

void DownloadLedger::postError(const EngineErrorRecord& record) {
  std::lock_guard lock(mutex_);
  pendingErrors_[record.type].push_back(record);
}

int32_t DownloadLedger::nextErrorAction(DLEErrorInfo& out, uint32_t& key) {
  std::lock_guard lock(mutex_);
  if (pendingErrors_.empty()) return kErrorClassNone;
  auto group = pendingErrors_.begin();
  key = group->first;
  int32_t action = kErrorClassNone;
  for (const EngineErrorRecord& record : group->second) {
    action = tracker_->classifyError(record);
    tracker_->getErrorInfo(out);
    if (action == kErrorClassReport || action == kErrorClassFatal) break;
  }
  pendingErrors_.erase(group);
  return action;
}

void DownloadLedger::dropErrors(uint32_t key) {
  std::lock_guard lock(mutex_);
  pendingErrors_.erase(key);
}

void DownloadLedger::forgiveIntermittentErrors() {
  std::lock_guard lock(mutex_);
  tracker_->resetIntermittentCounts();
}

void DownloadLedger::setLastError(int32_t type, const std::string& message, int32_t code,
                                  uint8_t retryable) {
  std::lock_guard lock(mutex_);
  lastError_.errorType = type;
  lastError_.message = message;
  lastError_.errorCode = code;
  lastError_.retryable = retryable;
}

void DownloadLedger::setLastError(const DLEErrorInfo& error) {
  std::lock_guard lock(mutex_);
  lastError_ = error;
}

DLEErrorInfo DownloadLedger::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void DownloadLedger::classifyIntoLastError(const EngineErrorRecord& record) {
  std::lock_guard lock(mutex_);
  tracker_->classifyError(record);
  tracker_->getErrorInfo(lastError_);
}

void DownloadLedger::recordFileSystemError(int code, const std::string& path) {
  std::lock_guard lock(mutex_);
  ErrorRetryTracker::mapFileSystemError(code, lastError_, path);
}

DLEProgress DownloadLedger::progress() const {
  DLEProgress out;
  out.bytesDownloaded = progressBytes_.load();
  out.state = progressState_.load();
  return out;
}

}  // namespace gde
