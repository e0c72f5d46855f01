#include "mediation/ipc/GatewayHost.h"

#include <mutex>

#include "core/context/ApplicationContext.h"
#include "services/analytics/ETSWrapper.h"

namespace mediation {
namespace {

class ContextGatewayHost final : public IGatewayHost {
 public:
  bool isAdmin() const override { return context().isAdmin; }
  bool isSilent() const override { return context().isSilent; }
  bool quitRequested() const override { return context().quitRequested.load(); }

  IViewMediator* viewMediator() const override { return context().viewMediator.get(); }
  IWorkflowPackets* workflowPackets() const override { return context().workflowManager.get(); }
  std::shared_ptr<IAnalytics> analytics() const override {
    return ApplicationContext::GetAnalytics();
  }

  SharedInstallHelperChannels& installHelperChannels() const override {
    return context().installHelperChannels;
  }
  SharedProxyCredentials& proxyCredentials() const override { return context().proxyCredentials; }
  std::string userGuid() const override {
    const ApplicationContext& found = context();
    return found.userProfile ? found.userProfile->userGuid() : "";
  }
  std::string tempLocation() const override { return ApplicationContext::GetTempLocation(); }
  std::string sessionId() const override { return ETSWrapper::getSessionID(); }
  void setSessionId(const std::string& sessionId) override { ETSWrapper::setSessionID(sessionId); }

 private:
  ApplicationContext& context() const {
    std::call_once(found_, [this] { context_ = ApplicationContext::GetInstance(); });
    return *context_;
  }

  mutable std::once_flag found_;
  mutable ApplicationContext* context_ = nullptr;  // set once, under found_
};

}  // namespace

std::unique_ptr<IGatewayHost> contextGatewayHost() {
  return std::make_unique<ContextGatewayHost>();
}

}  // namespace mediation
