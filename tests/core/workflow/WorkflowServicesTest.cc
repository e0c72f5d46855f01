// The network check of the workflow against the real sign-in service on the test server.
#include <gtest/gtest.h>

#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/services/support/ServicesFixture.h"

namespace {

using wendtest::RecordingView;

class WorkflowServicesTest : public wendtest::ServicesTest {
 protected:
  std::unique_ptr<WorkflowManager> makeWorkflow(ApplicationContext& context) {
    return std::make_unique<WorkflowManager>(
        WorkflowContext{quit_, context.config, context.proxyCredentials, required_, false, "", ""},
        WorkflowCollaborators{view_, gateway_, *context.userProfile, *context.surveyManager,
                              applets_, &ApplicationContext::GetAnalytics,
                              std::make_unique<wendtest::ScriptedInstallHelper>(), WorkflowSteps{}},
        WorkflowRole::kAdministrator, wendtest::WorkflowRig::fastSettings());
  }
  void answerWithProxyChallenge() { answerWith("/idra/providers/v1", 407); }

  std::atomic<bool> quit_{false};
  std::string required_;
  RecordingView view_;
  wendtest::WorkflowRig::NoLink gateway_;
  wendtest::ScriptedApplets applets_;
};

TEST_F(WorkflowServicesTest, ProxyChallengeShowsTheProxyAlertAndTheLoginRunsTheCheckAgain) {
  ApplicationContext* context = startContext();
  answerWithProxyChallenge();
  auto workflow = makeWorkflow(*context);
  workflow->setStateCode(0x401);
  workflow->runStep();
  EXPECT_EQ(view_.count("showProxyAlert"), 1);
  EXPECT_EQ(workflow->stateCode(), 0x401u);

  server_.clearRules();
  context->proxyCredentials.set({"ann", "secret", true});
  workflow->setCurrentUIAction(1);
  workflow->runStep();
  EXPECT_EQ(workflow->stateCode(), 0x601u);
}

TEST_F(WorkflowServicesTest, ServiceDownShowsP206AndARetrySucceedsOnceItIsBack) {
  // A port nobody listens on any more.
  testserver::TestServer gone;
  ASSERT_TRUE(gone.start());
  const std::string goneBase = gone.url("");
  gone.stop();
  auto down = std::make_unique<wendtest::ScopedEnv>("WEND_SERVICE_BASE", goneBase);
  ApplicationContext* context = startContext();
  auto workflow = makeWorkflow(*context);
  workflow->setStateCode(0x401);
  workflow->runStep();
  EXPECT_EQ(view_.last("showErrorAlert").args,
            (std::vector<std::string>{"TarnInstallNetworkUnavailable", "1", "P206", "", "", "",
                                      "false"}));
  EXPECT_EQ(workflow->stateCode(), 0x401u);

  down.reset();  // the service is back where the profile finds it
  context->userProfile->setEnvironment("PROD");
  workflow->setCurrentUIAction(3);
  workflow->runStep();
  EXPECT_EQ(workflow->stateCode(), 0x601u);
}

}  // namespace
