// The network check of the workflow against the real sign-in service on the test server.
#include <gtest/gtest.h>

#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/WaitUntil.h"

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

namespace {

// The user's process with the real online services, its elevated copy on an in-memory link.
TEST_F(WorkflowServicesTest, UserAndSilentInstallWithTheOnlineServices) {
  ApplicationContext* context = startContext();
  wendtest::InMemoryLink link;
  wendtest::WorkflowRig user(WorkflowRole::kUser, &link.end(0), false, "",
                             {context->userProfile.get(), context->surveyManager.get(),
                              &ApplicationContext::GetAnalytics});
  wendtest::WorkflowRig silent(WorkflowRole::kSilent, &link.end(1));
  link.attach(0, user.workflow.get(), &user.proxy);
  link.attach(1, silent.workflow.get(), &silent.proxy);
  user.view.answerAsPage();
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  ASSERT_TRUE(user.workflow->StartWorkflow());
  EXPECT_TRUE(wendtest::waitUntil([&] {
    user.view.deliverAnswers();
    for (WorkflowManager* workflow : {silent.workflow.get(), user.workflow.get()}) {
      if (workflow->stateCode() == 0x1606) workflow->setStateCode(0x1702);
      if (workflow->stateCode() == 0x1A05) workflow->setStateCode(0x1B01);
    }
    return user.quitRequested && silent.quitRequested;
  }));
  EXPECT_EQ(user.view.count("showErrorAlert"), 0);
  EXPECT_EQ(user.view.count("showMainScreen"), 1);
  EXPECT_FALSE(server_.requestsFor("/idra/providers/v1").empty());
  const auto fromSilent = link.statesSentBy(1);
  EXPECT_NE(std::find(fromSilent.begin(), fromSilent.end(), 0x1801u), fromSilent.end());
}

}  // namespace

namespace {

// A user with administrator rights runs every state itself and sends no packet.
TEST_F(WorkflowServicesTest, AdministratorRunsEveryStateWithTheOnlineServices) {
  ApplicationContext* context = startContext();
  wendtest::WorkflowRig rig(WorkflowRole::kAdministrator, nullptr, false, "",
                            {context->userProfile.get(), context->surveyManager.get(),
                             &ApplicationContext::GetAnalytics});
  rig.view.answerAsPage();
  rig.workflow->setStateCode(0x101);
  std::vector<uint32_t> states{0x101};
  for (int i = 0; i < 400 && !rig.quitRequested; ++i) {
    rig.workflow->runStep();
    rig.view.deliverAnswers();
    if (rig.workflow->stateCode() == 0x1606) rig.workflow->setStateCode(0x1702);
    if (rig.workflow->stateCode() == 0x1A05) rig.workflow->setStateCode(0x1B01);
    if (states.back() != rig.workflow->stateCode()) states.push_back(rig.workflow->stateCode());
  }
  EXPECT_TRUE(std::is_sorted(states.begin(), states.end())) << ::testing::PrintToString(states);
  EXPECT_EQ(states.back(), 0x1D00u);
  EXPECT_TRUE(rig.ownGateway.sent.empty());
  EXPECT_EQ(rig.view.count("showErrorAlert"), 0);
}

}  // namespace
