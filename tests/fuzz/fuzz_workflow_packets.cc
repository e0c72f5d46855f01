// Hands arbitrary text to the workflow's state-packet handlers, as the other process's packets
// reach them. A packet either replaces a whole block or changes nothing, and a block taken over
// from the other process is never sent back.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/workflow/WorkflowManager.h"

namespace {

class QuietView final : public IViewMediator {
 public:
  void sendMessageToView(const std::string&, const std::string&) override {}
  void onMessageFromView(const std::string&, const std::string&) override {}
};

class CountingGateway final : public IMessageGateway {
 public:
  bool InitMessageGateway(const CommandLineParser&) override { return true; }
  void WaitForGatewayThread() override {}
  int sendPacket(int, const std::string&) override {
    ++sent;
    return 0;
  }
  int sent = 0;
};

class QuietProfile final : public ISignInProfile {
 public:
  void setEnvironment(const std::string&) override {}
};

class QuietApplets final : public IAppletMessageManager {
 public:
  int StartWorkflow(const ProductInstallArgs*) override { return 1; }
  void HandleUserAction(const AppletUserAction*) override {}
  void GetProductInfo(AppletProductInfo&) override {}
  int FinalizeCore() override { return 0; }
};

class NoHelper final : public IInstallHelper {
 public:
  bool LaunchInstallHelper(const std::string&) override { return false; }
  bool Handshake(const std::string&) override { return false; }
  bool SendReinit(const std::string&) override { return false; }
  bool isElevated() const override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::atomic<bool> quit{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  SharedInstallHelperChannels channels;
  std::string required;
  QuietView view;
  CountingGateway gateway;
  QuietProfile profile;
  ISurveyManager survey;
  QuietApplets applets;
  WorkflowManager workflow(
      WorkflowContext{quit, config, proxy, required, false, channels},
      WorkflowCollaborators{view, gateway, profile, survey, applets, nullptr,
                            std::make_unique<NoHelper>(), WorkflowSteps{}},
      WorkflowRole::kSilent);
  workflow.setStateCode(WorkflowState::kAcquireLocks);
  workflow.syncState();
  const std::string text(reinterpret_cast<const char*>(data), size);

  const auto before = workflow.stateBlock().toBytes();
  workflow.onProgressStatePacket(text);
  const auto decoded = decodeStateBlock(text);
  const auto after = workflow.stateBlock().toBytes();
  if (decoded ? after != decoded->toBytes() : after != before) std::abort();
  workflow.syncState();
  if (gateway.sent != 1) std::abort();

  workflow.onProductProgressStatePacket(text);
  const auto estimate = decodeProgressEstimate(text);
  if (workflow.progressEstimate() != (estimate ? *estimate : ProgressEstimateBlock{})) std::abort();
  workflow.syncProgressEstimate();
  if (gateway.sent != 1) std::abort();
  return 0;
}
