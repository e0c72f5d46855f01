#include "mediation/ipc/MediationParts.h"

#include "mediation/helper/InstallHelperInterface.h"
#include "mediation/ipc/MessageGateway.h"

namespace mediation {
namespace {

class MediationParts final : public IContextPartsFactory {
 public:
  explicit MediationParts(std::unique_ptr<IContextPartsFactory> inner) : inner_(std::move(inner)) {}

  std::unique_ptr<IAnalytics> makeAnalytics() override { return inner_->makeAnalytics(); }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    return inner_->makeSignInProfile();
  }
  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return std::make_unique<MessageGateway>();
  }
  std::unique_ptr<ISurveyManager> makeSurveyManager() override {
    return inner_->makeSurveyManager();
  }
  std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() override {
    return inner_->makeAppletMessageManager();
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    return inner_->makeViewMediator(silent, argc, argv);
  }
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return inner_->makeBundleResources();
  }
  std::unique_ptr<IInstallHelper> makeInstallHelper() override {
    return std::make_unique<InstallHelperInterface>();
  }

 private:
  std::unique_ptr<IContextPartsFactory> inner_;
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withMediation(std::unique_ptr<IContextPartsFactory> inner) {
  return std::make_unique<MediationParts>(std::move(inner));
}

}  // namespace mediation
