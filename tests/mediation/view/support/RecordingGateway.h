#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/context/ContextParts.h"

namespace wendtest {

// Lines in the order they were added. Any thread.
class LineRecord {
 public:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Lines that begin with `prefix`.
  std::vector<std::string> starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;  // guarded by mutex_
};

// The link to the other process: its state as the test sets it, and the view messages sent over.
struct GatewayRecord {
  std::atomic<IMessageGateway::LinkState> state{IMessageGateway::LinkState::kConnected};
  LineRecord forwarded;  // "<name> <data> <view|native>"
};

class RecordingGateway final : public IMessageGateway {
 public:
  explicit RecordingGateway(std::shared_ptr<GatewayRecord> record) : record_(std::move(record)) {}
  bool InitMessageGateway(const CommandLineParser&) override { return true; }
  void WaitForGatewayThread() override {}
  void sendMessageToOtherViewMediator(const std::string& name, const std::string& data,
                                      bool fromView) override {
    record_->forwarded.add(name + " " + data + (fromView ? " view" : " native"));
  }
  LinkState linkState() const override { return record_->state.load(); }

 private:
  std::shared_ptr<GatewayRecord> record_;
};

}  // namespace wendtest
