// The elevated copy of the gateway test: a test executable of this folder started as exactly
// "<exe> --pipename=<name>" with IPC_TEST_GATEWAY_COPY naming the bundle's resources folder. It
// runs the real context and gateway as a silent administrator; its view answers the page message
// "report" with a view command "report" that says what this process adopted and received. With
// IPC_TEST_GATEWAY_COPY_WORKFLOW set it is the program's elevated copy instead: the silent
// mediator is its view and its workflow runs the steps the user's process hands it. It ends,
// before any test starts, once its gateway's worker has ended.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/context/ApplicationContext.h"
#include "core/workflow/WorkflowManager.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/view/ViewMediators.h"
#include "services/analytics/ETSWrapper.h"
#include "tests/mediation/ipc/support/GatewayParts.h"
#include "tests/support/ChildEntry.h"

namespace {

class CopyView final : public IViewMediator {
 public:
  void sendMessageToView(const std::string& name, const std::string& data) override {
    note("toView", name, data);
  }
  void onMessageFromView(const std::string& name, const std::string& data) override {
    if (name != "report") {
      note("fromView", name, data);
      return;
    }
    ApplicationContext* context = ApplicationContext::GetInstance();
    const ProxyCredentials proxy = context->proxyCredentials.get();
    std::string report;
    {
      std::lock_guard lock(mutex_);
      report = received_;
    }
    const InstallHelperChannels channels = context->installHelperChannels.get();
    report += "helper=" + channels.first + "\n" + "helper2=" + channels.second + "\n" +
              "session=" + ETSWrapper::getSessionID() + "\n" + "proxy=" + proxy.userName + "|" +
              proxy.password + "|" + (proxy.remember ? "true" : "false") + "\n" +
              "state=" + std::to_string(code(context->workflowManager->stateCode())) + "\n" +
              "progress=" + std::to_string(context->workflowManager->progressEstimate().progress) +
              "\n" + "pid=" + std::to_string(getpid()) + "\n";
    context->messageGateway->sendMessageToOtherViewMediator("report", report, false);
  }
  void setProxyCredentials(const std::string& user, const std::string&) override {
    note("proxyView", user, "");
  }

 private:
  void note(const char* kind, const std::string& name, const std::string& data) {
    std::lock_guard lock(mutex_);
    received_ += std::string(kind) + ":" + name + "=" + data + "\n";
  }
  std::mutex mutex_;
  std::string received_;  // guarded by mutex_
};

void actAsCopy(int argc, char** argv, char**) {
  const char* resources = std::getenv("IPC_TEST_GATEWAY_COPY");
  if (argc != 2 || std::strncmp(argv[1], "--pipename=", 11) != 0 || !resources) return;
  const bool runsWorkflow = std::getenv("IPC_TEST_GATEWAY_COPY_WORKFLOW") != nullptr;
  static CopyView* view = nullptr;
  std::unique_ptr<IContextPartsFactory> parts =
      std::make_unique<wendtest::GatewayTestParts<CopyView>>(
          resources, &view, std::make_shared<std::vector<std::string>>());
  if (runsWorkflow) parts = mediation::withViewMediators(std::move(parts));
  ApplicationContext::SetPartsFactory(mediation::withMediation(std::move(parts)));
  ApplicationContext* context = ApplicationContext::GetInstance();
  if (!context->Initialize(argc, argv)) _exit(2);
  // The fake elevation tool gives no rights: this copy plays the administrator.
  context->isAdmin = true;
  if (!context->InitMessageGateway(argc, argv)) _exit(3);
  if (runsWorkflow && !context->StartWorkflow()) _exit(4);
  context->messageGateway->WaitForGatewayThread();
  ApplicationContext::Destroy();
  _exit(0);
}

WEND_CHILD_ENTRY(actAsCopy);

}  // namespace
