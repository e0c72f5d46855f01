#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/context/ContextParts.h"
#include "core/workflow/WorkflowManager.h"

namespace wendtest {

// One packet as the link carried it.
struct CarriedPacket {
  int from;  // 0 the user's side, 1 the silent side
  int type;
  std::string text;
};

// Two gateway ends joined in memory: a state or estimate packet sent at one end reaches the other
// end's workflow at once, on the sender's thread; proxy data copies the sender's credentials
// across. Records what it carries. Any thread.
class InMemoryLink {
 public:
  class End final : public IMessageGateway {
   public:
    End(InMemoryLink& link, int side) : link_(link), side_(side) {}
    bool InitMessageGateway(const CommandLineParser&) override { return true; }
    void WaitForGatewayThread() override {}
    int sendPacket(int type, const std::string& text) override {
      return link_.carry(side_, type, text);
    }
    void sendInitPacket() override { link_.carry(side_, 1, "<init/>"); }
    void sendProxyData() override { link_.carryProxy(side_); }
    LinkState linkState() const override { return link_.state_.load(); }

   private:
    InMemoryLink& link_;
    const int side_;
  };

  InMemoryLink() : ends_{End(*this, 0), End(*this, 1)} {}

  End& end(int side) { return ends_[side]; }
  // Joins a side to its workflow and the proxy credentials of its process.
  void attach(int side, WorkflowManager* workflow, SharedProxyCredentials* proxy = nullptr) {
    std::lock_guard lock(mutex_);
    workflows_[side] = workflow;
    proxies_[side] = proxy;
  }
  void setState(IMessageGateway::LinkState state) { state_ = state; }
  // The other process went away: nothing crosses any more.
  void drop() { state_ = IMessageGateway::LinkState::kDown; }

  std::vector<CarriedPacket> carried() const {
    std::lock_guard lock(mutex_);
    return carried_;
  }
  // The state codes of the state packets one side sent, in order.
  std::vector<uint32_t> statesSentBy(int side) const {
    std::vector<uint32_t> codes;
    for (const CarriedPacket& packet : carried()) {
      if (packet.from != side || packet.type != IMessageGateway::kWorkflowStatePacket) continue;
      if (auto block = decodeStateBlock(packet.text)) codes.push_back(block->stateCode);
    }
    return codes;
  }

 private:
  int carry(int from, int type, const std::string& text) {
    WorkflowManager* target = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (state_ != IMessageGateway::LinkState::kConnected) return -4;
      carried_.push_back({from, type, text});
      target = workflows_[1 - from];
    }
    if (target && type == IMessageGateway::kWorkflowStatePacket) {
      target->onProgressStatePacket(text);
    }
    if (target && type == IMessageGateway::kProgressEstimatePacket) {
      target->onProductProgressStatePacket(text);
    }
    return 0;
  }
  void carryProxy(int from) {
    SharedProxyCredentials* source = nullptr;
    SharedProxyCredentials* target = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (state_ != IMessageGateway::LinkState::kConnected) return;
      carried_.push_back({from, 7, ""});
      source = proxies_[from];
      target = proxies_[1 - from];
    }
    if (source && target) target->set(source->get());
  }

  std::array<End, 2> ends_;
  std::atomic<IMessageGateway::LinkState> state_{IMessageGateway::LinkState::kConnected};
  mutable std::mutex mutex_;
  std::array<WorkflowManager*, 2> workflows_{};       // guarded by mutex_
  std::array<SharedProxyCredentials*, 2> proxies_{};  // guarded by mutex_
  std::vector<CarriedPacket> carried_;                // guarded by mutex_
};

}  // namespace wendtest
