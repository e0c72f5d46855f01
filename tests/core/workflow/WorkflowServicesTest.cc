// The workflow against the real online services on the test server.
#include <gtest/gtest.h>

#include <thread>

#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::WorkflowRig;
using Args = std::vector<std::string>;
constexpr char kProviders[] = "/idra/providers/v1";

class WorkflowServicesTest : public wendtest::ServicesTest {
 protected:
  // A rig whose profile, survey and analytics are the context's.
  std::unique_ptr<WorkflowRig> rig(ApplicationContext& context, WorkflowRole role,
                                   IMessageGateway* gateway = nullptr) {
    return std::make_unique<WorkflowRig>(
        role, gateway, false, "",
        wendtest::RigOutside{context.userProfile.get(), context.surveyManager.get(),
                             &ApplicationContext::GetAnalytics});
  }
};

// The login reruns the check with the credentials the context now holds; until then the alert
// blocks the step without asking again.
TEST_F(WorkflowServicesTest, ProxyChallengeShowsTheProxyAlertAndTheLoginRunsTheCheckAgain) {
  ApplicationContext* context = startContext();
  answerWith(kProviders, 407);
  auto r = rig(*context, WorkflowRole::kAdministrator);
  r->workflow->setStateCode(WorkflowState::kNetworkCheck);
  r->workflow->runStep();
  EXPECT_EQ(r->view.count("showProxyAlert"), 1);
  const size_t asked = server_.requestsFor(kProviders).size();
  r->workflow->runStep();
  EXPECT_EQ(server_.requestsFor(kProviders).size(), asked);
  EXPECT_EQ(r->workflow->stateCode(), WorkflowState::kNetworkCheck);

  server_.clearRules();
  context->proxyCredentials.set({"ann", "secret", true});
  r->proxy.set({"ann", "secret", true});
  r->workflow->setCurrentUIAction(UIAction::kProxyLogin);  // "proxyAlertLoginButtonClicked"
  r->workflow->runStep();
  EXPECT_EQ(r->workflow->stateCode(), WorkflowState::kFirstScreen);
  EXPECT_EQ(r->view.last("setProxyCredentials").args, (Args{"ann", "secret"}));
}

TEST_F(WorkflowServicesTest, ServiceDownShowsP206AndARetrySucceedsOnceItIsBack) {
  // A port nobody listens on any more.
  testserver::TestServer gone;
  ASSERT_TRUE(gone.start());
  const std::string goneBase = gone.url("");
  gone.stop();
  auto down = std::make_unique<wendtest::ScopedEnv>("WEND_SERVICE_BASE", goneBase);
  ApplicationContext* context = startContext();
  auto r = rig(*context, WorkflowRole::kAdministrator);
  r->workflow->setStateCode(WorkflowState::kNetworkCheck);
  for (int tries = 1; tries <= 2; ++tries) {  // the retry while it is still down alerts again
    r->workflow->runStep();
    EXPECT_EQ(r->view.count("showErrorAlert"), tries);
    EXPECT_EQ(r->view.last("showErrorAlert").args,
              (Args{"TarnInstallNetworkUnavailable", "1", "P206", "", "", "", "false"}));
    EXPECT_EQ(r->workflow->stateCode(), WorkflowState::kNetworkCheck);
    r->workflow->setCurrentUIAction(UIAction::kRetry);  // "retryClicked"
  }
  down.reset();  // the service is back where the profile finds it
  context->userProfile->setEnvironment("PROD");
  r->workflow->runStep();
  EXPECT_EQ(r->workflow->stateCode(), WorkflowState::kFirstScreen);
}

// A user with administrator rights runs every state in order itself, with the online sign-in
// service, a survey and the privacy notice to answer, and sends no packet.
TEST_F(WorkflowServicesTest, AdministratorRunsEveryStateWithTheOnlineServices) {
  ApplicationContext* context = startContext();
  WorkflowRig r(WorkflowRole::kAdministrator, nullptr, false, "",
                {context->userProfile.get(), nullptr, &ApplicationContext::GetAnalytics});
  r.config.set("checkForCompatibility", "true");
  r.survey.status = 0;
  r.choices->accepted = false;
  r.view.answerAsPage();
  r.workflow->setStateCode(WorkflowState::kAcquireLocks);
  EXPECT_EQ(r.walkToEnd(), (std::vector<uint32_t>{code(WorkflowState::kAcquireLocks),
                                                  code(WorkflowState::kSystemCheck),
                                                  code(WorkflowState::kRestoreProxyCredentials),
                                                  code(WorkflowState::kNetworkCheck),
                                                  code(WorkflowState::kCompatibilityCheck),
                                                  code(WorkflowState::kFirstScreen),
                                                  code(WorkflowState::kWelcome),
                                                  code(WorkflowState::kSignIn),
                                                  code(WorkflowState::kSignInPage),
                                                  code(WorkflowState::kDeviceToken),
                                                  code(WorkflowState::kSurveyCheck),
                                                  code(WorkflowState::kSurvey),
                                                  code(WorkflowState::kSurveyResults),
                                                  code(WorkflowState::kPrivacyNoticeCheck),
                                                  code(WorkflowState::kPrivacyNotice),
                                                  code(WorkflowState::kPrivacyNoticeAccepted),
                                                  code(WorkflowState::kMainScreen),
                                                  code(WorkflowState::kApplicationsDocument),
                                                  code(WorkflowState::kInstallerLibrary),
                                                  code(WorkflowState::kStartDesktopAppInstall),
                                                  code(WorkflowState::kDesktopAppInstall),
                                                  code(WorkflowState::kDesktopAppInstalled),
                                                  code(WorkflowState::kHelperHandshake),
                                                  code(WorkflowState::kStartProductInstall),
                                                  code(WorkflowState::kProductInstall),
                                                  code(WorkflowState::kLaunch),
                                                  code(WorkflowState::kFinal)}));
  EXPECT_TRUE(r.ownGateway.sent.empty());
  EXPECT_EQ(r.view.count("showErrorAlert"), 0);
  EXPECT_EQ(r.view.last("updateTarnInstallWeightage").args, Args{"123456789"});
  EXPECT_EQ(r.view.count("updateTarnProgress"), 3);  // 2, 5 and 100
  EXPECT_EQ(r.view.names().back(), "terminateApplication");
  EXPECT_EQ(r.helper->calls(),
            (Args{"launch helper-pipe-1", "launch helper-pipe-2", "handshake helper-pipe-2"}));
}

// A whole installation by the user's process with the online services and its elevated copy on
// an in-memory link, while the view, the link and the callbacks write from threads of their own.
TEST_F(WorkflowServicesTest, UserAndSilentInstallWithWritersOnEveryThread) {
  ApplicationContext* context = startContext();
  wendtest::InMemoryLink link;
  auto user = rig(*context, WorkflowRole::kUser, &link.end(0));
  WorkflowRig silent(WorkflowRole::kSilent, &link.end(1));
  link.attach(0, user->workflow.get(), &user->proxy);
  link.attach(1, silent.workflow.get(), &silent.proxy);
  user->view.answerAsPage();
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  ASSERT_TRUE(user->workflow->StartWorkflow());
  std::atomic<bool> done{false};
  std::thread page([&] {
    for (int i = 0; !done; ++i) {
      user->workflow->setProgressEstimate({i, i + 1, i % 100});
      user->workflow->syncProgressEstimate();
      user->workflow->setScreenId(ScreenId::kMain);
      user->workflow->setCloseOverride(i % 2);
    }
  });
  std::thread callback([&] {
    for (int i = 0; !done; ++i) {
      silent.workflow->showTarnProgress(static_cast<float>(i % 100));
      silent.workflow->setUIFlags(i % 2 ? UIFlag::kDownloading : UIFlag::kDownloadOver);
      silent.proxy.set({"u" + std::to_string(i), "p", false});
    }
  });
  EXPECT_TRUE(wendtest::waitUntil([&] {
    user->view.deliverAnswers();
    WorkflowRig::finishThreads(*silent.workflow);
    WorkflowRig::finishThreads(*user->workflow);
    return user->quitRequested && silent.quitRequested;
  }));
  done = true;
  page.join();
  callback.join();
  // The user's process handed over with code(WorkflowState::kApplicationsDocument), the elevated
  // one back with code(WorkflowState::kHelperHandshake) and ended without sending its
  // code(WorkflowState::kFinal).
  const auto has = [](const std::vector<uint32_t>& states, uint32_t state) {
    return std::find(states.begin(), states.end(), state) != states.end();
  };
  EXPECT_TRUE(has(link.statesSentBy(0), code(WorkflowState::kApplicationsDocument)));
  EXPECT_TRUE(has(link.statesSentBy(1), code(WorkflowState::kHelperHandshake)));
  EXPECT_FALSE(has(link.statesSentBy(1), code(WorkflowState::kFinal)));
  EXPECT_EQ(silent.workflow->stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(user->workflow->stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(silent.desktopApp->downloads, 1);
  EXPECT_EQ(user->desktopApp->downloads, 0);
  EXPECT_EQ(user->view.count("showMainScreen"), 1);
  EXPECT_EQ(user->view.count("showLaunchingProductScreen"), 1);
  EXPECT_EQ(user->view.count("showErrorAlert") + silent.view.count("showErrorAlert"), 0);
  EXPECT_FALSE(server_.requestsFor(kProviders).empty());
}

}  // namespace
