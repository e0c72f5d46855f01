#include "applets/AppletHostParts.h"

#include "applets/LoomIMMessageManager.h"

namespace applets {
namespace {

class AppletHostParts final : public IContextPartsFactory {
 public:
  AppletHostParts(std::unique_ptr<IContextPartsFactory> inner, AppletHostSettings settings)
      : inner_(std::move(inner)), settings_(std::move(settings)) {}

  std::unique_ptr<IAnalytics> makeAnalytics() override { return inner_->makeAnalytics(); }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    return inner_->makeSignInProfile();
  }
  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return inner_->makeMessageGateway();
  }
  std::unique_ptr<ISurveyManager> makeSurveyManager() override {
    return inner_->makeSurveyManager();
  }
  std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() override {
    return std::make_unique<LoomIMMessageManager>(settings_);
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    return inner_->makeViewMediator(silent, argc, argv);
  }
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return inner_->makeBundleResources();
  }
  std::unique_ptr<IInstallHelper> makeInstallHelper() override {
    return inner_->makeInstallHelper();
  }

 private:
  std::unique_ptr<IContextPartsFactory> inner_;
  AppletHostSettings settings_;
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withAppletHost(std::unique_ptr<IContextPartsFactory> inner,
                                                     AppletHostSettings settings) {
  return std::make_unique<AppletHostParts>(std::move(inner), std::move(settings));
}

}  // namespace applets
