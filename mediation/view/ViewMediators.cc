#include "mediation/view/ViewMediators.h"

#include "mediation/view/ViewMediatorSilent.h"

namespace mediation {
namespace {

class ViewMediators final : public IContextPartsFactory {
 public:
  explicit ViewMediators(std::unique_ptr<IContextPartsFactory> inner) : inner_(std::move(inner)) {}

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
    return inner_->makeAppletMessageManager();
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    if (silent) return std::make_unique<ViewMediatorSilent>();
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
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withViewMediators(
    std::unique_ptr<IContextPartsFactory> inner) {
  return std::make_unique<ViewMediators>(std::move(inner));
}

}  // namespace mediation
