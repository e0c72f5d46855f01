#include "services/OnlineServices.h"

#include "core/context/ApplicationContext.h"
#include "services/analytics/ETSWrapper.h"
#include "services/common/ServiceState.h"
#include "services/signin/IdraUserProfile.h"
#include "services/survey/SurveyManager.h"

namespace {

class OnlineServicesFactory final : public ForwardingPartsFactory {
 public:
  OnlineServicesFactory(std::unique_ptr<IContextPartsFactory> base,
                        IdraUserProfile::HostTable hosts)
      : ForwardingPartsFactory(std::move(base)), hosts_(std::move(hosts)) {}

  std::unique_ptr<IAnalytics> makeAnalytics() override {
    return std::make_unique<ETSWrapper>(state_);
  }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    auto profile = std::make_unique<IdraUserProfile>(state_, hosts_);
    // The context calls this from its initialisation and the page's test application from the
    // owner thread, never while the context is being made or torn down.
    profile->setEnvironmentListener([state = state_](const std::string&) {
      state->setSnapshot(snapshotOf(*ApplicationContext::GetInstance()));
    });
    return profile;
  }
  std::unique_ptr<ISurveyManager> makeSurveyManager() override {
    return std::make_unique<SurveyManager>(state_);
  }

 private:
  const IdraUserProfile::HostTable hosts_;
  const std::shared_ptr<ServiceState> state_ = std::make_shared<ServiceState>();
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withOnlineServices(std::unique_ptr<IContextPartsFactory> base,
                                                         IdraUserProfile::HostTable hosts) {
  return std::make_unique<OnlineServicesFactory>(std::move(base), std::move(hosts));
}
