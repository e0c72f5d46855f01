#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

void ThreadActivityBoard::resetIdle(uint32_t count) {
  std::lock_guard lock(mutex_);
  records_.clear();
  for (uint32_t index = 0; index < count; ++index) records_[index] = Record{};
}

void ThreadActivityBoard::markJobStarted(uint32_t index) {
  auto now = clock_.now();
  std::lock_guard lock(mutex_);
  Record& record = records_[index];
  record.jobStart = now;
  record.lastData = {};
  record.busy = true;
}

void ThreadActivityBoard::markDataReceived(uint32_t index) {
  auto now = clock_.now();
  std::lock_guard lock(mutex_);
  records_[index].lastData = now;
}

void ThreadActivityBoard::markJobEnded(uint32_t index) {
  auto now = clock_.now();
  std::lock_guard lock(mutex_);
  Record& record = records_[index];
  record.jobEnd = now;
  record.busy = false;
}

void ThreadActivityBoard::addBytesReceived(uint32_t index, uint64_t count) {
  std::lock_guard lock(mutex_);
  records_[index].bytesReceived += count;
}

std::map<uint32_t, ThreadActivityBoard::Record> ThreadActivityBoard::snapshot() const {
  std::lock_guard lock(mutex_);
  return records_;
}

}  // namespace gde
