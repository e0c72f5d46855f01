#include "core/context/StandInParts.h"

#include "core/context/BundleResources.h"

namespace {

class StandInAnalytics final : public IAnalytics {
 public:
  void sendServiceEvent(const std::string&) override {}
};
class StandInSurveyManager final : public ISurveyManager {};
class StandInViewMediator final : public IViewMediator {
 public:
  void sendMessageToView(const std::string&, const std::string&) override {}
  void onMessageFromView(const std::string&, const std::string&) override {}
};

// No helper to start: every call fails.
class StandInInstallHelper final : public IInstallHelper {
 public:
  bool LaunchInstallHelper(const std::string&) override { return false; }
  bool Handshake(const std::string&) override { return false; }
  bool SendReinit(const std::string&) override { return false; }
  bool isElevated() const override { return false; }
};

class StandInSignInProfile final : public ISignInProfile {
 public:
  void setEnvironment(const std::string&) override {}
};

// Starts nothing: the product installation fails at once.
class StandInAppletMessageManager final : public IAppletMessageManager {
 public:
  int StartWorkflow(const ProductInstallArgs*) override { return 1; }
  void HandleUserAction(const AppletUserAction*) override {}
  void GetProductInfo(AppletProductInfo&) override {}
  int FinalizeCore() override { return 0; }
};

class StandInMessageGateway final : public IMessageGateway {
 public:
  bool InitMessageGateway(const CommandLineParser&) override { return true; }
  void WaitForGatewayThread() override {}
};

}  // namespace

std::unique_ptr<IAnalytics> StandInPartsFactory::makeAnalytics() {
  return std::make_unique<StandInAnalytics>();
}
std::unique_ptr<ISignInProfile> StandInPartsFactory::makeSignInProfile() {
  return std::make_unique<StandInSignInProfile>();
}
std::unique_ptr<IMessageGateway> StandInPartsFactory::makeMessageGateway() {
  return std::make_unique<StandInMessageGateway>();
}
std::unique_ptr<ISurveyManager> StandInPartsFactory::makeSurveyManager() {
  return std::make_unique<StandInSurveyManager>();
}
std::unique_ptr<IAppletMessageManager> StandInPartsFactory::makeAppletMessageManager() {
  return std::make_unique<StandInAppletMessageManager>();
}
std::unique_ptr<IViewMediator> StandInPartsFactory::makeViewMediator(bool, int, char**) {
  return std::make_unique<StandInViewMediator>();
}
std::unique_ptr<IBundleResources> StandInPartsFactory::makeBundleResources() {
  return std::make_unique<FolderBundleResources>(FolderBundleResources::programResourcesFolder());
}
std::unique_ptr<IInstallHelper> StandInPartsFactory::makeInstallHelper() {
  return std::make_unique<StandInInstallHelper>();
}
