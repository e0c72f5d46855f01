#pragma once

#include "core/context/ContextParts.h"

// Builds parts that do nothing, for tests and tools that run the core without the upper layers
// (the program takes only the bundle's resources from here): the gateway's init succeeds and its
// wait returns at once, and the view mediator shows nothing. Resources come from the running
// bundle.
class StandInPartsFactory : public IContextPartsFactory {
 public:
  std::unique_ptr<IAnalytics> makeAnalytics() override;
  std::unique_ptr<ISignInProfile> makeSignInProfile() override;
  std::unique_ptr<IMessageGateway> makeMessageGateway() override;
  std::unique_ptr<ISurveyManager> makeSurveyManager() override;
  std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() override;
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override;
  std::unique_ptr<IBundleResources> makeBundleResources() override;
  std::unique_ptr<IInstallHelper> makeInstallHelper() override;
};
