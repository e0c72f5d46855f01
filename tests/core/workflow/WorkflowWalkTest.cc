#include <gtest/gtest.h>

#include <thread>

#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::InMemoryLink;
using wendtest::waitUntil;
using wendtest::WorkflowRig;
using LinkState = IMessageGateway::LinkState;

TEST(WorkflowWalk, TestWorkflowStopsAtTheMainScreen) {
  WorkflowRig rig(WorkflowRole::kAdministrator, nullptr, /*testWorkflow=*/true);
  rig.view.answerAsPage();
  rig.view.answer("showPiiScreen", 0, {});
  ASSERT_TRUE(rig.workflow->StartWorkflow());
  EXPECT_TRUE(waitUntil([&] {
    rig.view.deliverAnswers();
    return rig.view.count("updateProductProgress") == 1;
  }));
  rig.workflow->StopWorkflow();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kPrivacyNotice);
  EXPECT_EQ(rig.view.last("showWelcomeScreen").args, std::vector<std::string>{""});
  EXPECT_EQ(rig.view.last("updateProductProgress").args, std::vector<std::string>{"100"});
  EXPECT_EQ(rig.desktopApp->downloads, 0);
}

TEST(WorkflowWalk, SilentProcessStartedLateKeepsTheStateItReceived) {
  WorkflowRig silent(WorkflowRole::kSilent);
  silent.workflow->onProgressStatePacket(
      encodeStateBlock(WorkflowStateBlock{code(WorkflowState::kApplicationsDocument)}));
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  EXPECT_TRUE(waitUntil([&] { return silent.desktopApp->downloads > 0; }));
}

TEST(WorkflowWalk, ApplicationsDocumentFailures) {
  WorkflowRig rig(WorkflowRole::kSilent);
  rig.desktopApp->downloadWorks = false;
  rig.workflow->setStateCode(WorkflowState::kApplicationsDocument);
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kApplicationsDocument);
  EXPECT_EQ(rig.view.count("updateTarnProgress"), 0);
  rig.desktopApp->downloadWorks = true;
  rig.desktopApp->readWorks = false;
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kInstallerLibrary);
  EXPECT_EQ(rig.view.last("showErrorAlert").args[2], "P48");
}

// The user's process whose elevated copy is gone: a quit from the page ends the run at once, in
// the final state with the error, without asking again.
void expectQuitEndsLocally(WorkflowRig& user) {
  user.workflow->setCurrentUIAction(UIAction::kQuitRequested);
  ASSERT_TRUE(waitUntil([&] { return user.quitRequested.load(); }));
  EXPECT_EQ(user.workflow->stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(user.workflow->stateBlock().errorCode, kStatusError);
  EXPECT_EQ(user.view.count("showQuitConfirmation"), 0);
}

// The user's process without its elevated copy: the link drops while the copy works, in a step or
// during the installation, whose install thread went with the copy.
TEST(WorkflowWalk, DeadLinkRaisesErrorOneAndQuitEndsLocally) {
  for (const WorkflowState state :
       {WorkflowState::kInstallerLibrary, WorkflowState::kDesktopAppInstall}) {
    for (int run = 0; run < 50; ++run) {
      SCOPED_TRACE(::testing::Message() << stateName(state) << " run " << run);
      InMemoryLink link;
      WorkflowRig user(WorkflowRole::kUser, &link.end(0));
      link.attach(0, user.workflow.get());
      ASSERT_TRUE(user.workflow->StartWorkflow());
      user.workflow->onProgressStatePacket(encodeStateBlock(WorkflowStateBlock{code(state)}));
      link.drop();
      ASSERT_TRUE(waitUntil([&] { return user.view.count("showErrorAlert") == 1; }));
      EXPECT_EQ(user.view.last("showErrorAlert").args[2], "P1");
      EXPECT_EQ(user.view.last("showErrorAlert").args[1], "0");
      expectQuitEndsLocally(user);
      EXPECT_EQ(user.view.count("showQuittingScreen"), 1);
    }
  }
}

// The elevated copy is gone before the first screen: no screen, the alert, and a quit ends it.
TEST(WorkflowWalk, DeadLinkAtTheFirstScreenAlertsInsteadOfAScreenAndQuitEndsLocally) {
  InMemoryLink link;
  link.setState(LinkState::kDown);
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  link.attach(0, user.workflow.get());
  user.view.answerAsPage();
  ASSERT_TRUE(user.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] {
    user.view.deliverAnswers();
    return user.view.count("showErrorAlert") == 1;
  }));
  EXPECT_EQ(user.workflow->stateCode(), WorkflowState::kFirstScreen);
  EXPECT_EQ(user.view.last("showErrorAlert").args[2], "P1");
  EXPECT_EQ(user.view.count("showWelcomeScreen"), 0);
  expectQuitEndsLocally(user);
  EXPECT_EQ(user.view.count("showErrorAlert"), 1) << "raised once";
}

// The elevated copy links late: the first screen and the main screen wait for it.
TEST(WorkflowWalk, LateLinkIsWaitedFor) {
  for (int run = 0; run < 50; ++run) {
    SCOPED_TRACE(run);
    InMemoryLink link;
    link.setState(LinkState::kLinking);
    WorkflowRig user(WorkflowRole::kUser, &link.end(0));
    link.attach(0, user.workflow.get());
    user.view.answerAsPage();
    ASSERT_TRUE(user.workflow->StartWorkflow());
    ASSERT_TRUE(
        waitUntil([&] { return user.workflow->stateCode() == WorkflowState::kFirstScreen; }));
    std::thread linker([&] { link.setState(LinkState::kConnected); });
    ASSERT_TRUE(waitUntil([&] {
      user.view.deliverAnswers();
      return user.workflow->stateCode() == WorkflowState::kApplicationsDocument;
    }));
    linker.join();
    user.workflow->StopWorkflow();
    EXPECT_EQ(user.view.count("showErrorAlert"), 0);
    EXPECT_EQ(user.view.count("showMainScreen"), 1);
  }
}

TEST(WorkflowWalk, MainScreenWaitsWhileLinkingAndFailsOnceLinkingFailed) {
  InMemoryLink link;
  link.setState(LinkState::kLinking);
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  user.workflow->setStateCode(WorkflowState::kMainScreen);
  for (int i = 0; i < 3; ++i) user.workflow->runStep();
  EXPECT_TRUE(user.view.calls().empty());
  link.setState(LinkState::kDown);
  user.workflow->runStep();
  EXPECT_EQ(user.view.last("showErrorAlert").args[2], "P1");
  EXPECT_EQ(user.workflow->stateCode(), WorkflowState::kMainScreen);
}

TEST(WorkflowThreads, StartTwiceStartsOneThreadAndStopJoinsAWaitingOne) {
  WorkflowRig rig(WorkflowRole::kUser);
  WorkflowSettings slow = WorkflowRig::fastSettings();
  rig.workflow->setStateCode(WorkflowState::kNone);
  EXPECT_TRUE(rig.workflow->StartWorkflow());
  EXPECT_TRUE(rig.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return rig.workflow->stateCode() == WorkflowState::kWelcome; }));
  EXPECT_EQ(rig.view.count("showWelcomeScreen"), 1);
  // A workflow waiting a whole hour per tick still ends at once when it is destroyed.
  std::atomic<bool> quit{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  SharedInstallHelperChannels channels;
  std::string required;
  slow.tick = std::chrono::hours(1);
  auto waiting = std::make_unique<WorkflowManager>(
      WorkflowContext{quit, config, proxy, required, false, channels},
      WorkflowCollaborators{rig.view, rig.ownGateway, rig.profile, rig.survey, rig.applets, nullptr,
                            std::make_unique<wendtest::ScriptedInstallHelper>(), WorkflowSteps{}},
      WorkflowRole::kUser, slow);
  ASSERT_TRUE(waiting->StartWorkflow());
  waiting.reset();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kWelcome);
}

// An install start made by the step that runs while the workflow stops: the old order joined the
// install thread before that start, so the stop returned with the thread still running.
class StartDuringTheStop final : public IDesktopAppInstall {
 public:
  bool startInstallWorkflow(IInstallWorkflow&) override {
    entered = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (joins == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    started = true;
    return true;
  }
  void joinInstallThread() override {
    ++joins;
    if (started) joinedAfterTheStart = true;
  }
  std::atomic<bool> entered{false};
  std::atomic<bool> started{false};
  std::atomic<bool> joinedAfterTheStart{false};
  std::atomic<int> joins{0};
};

TEST(WorkflowThreads, StopJoinsAnInstallThreadItsLastStepStarted) {
  auto install = std::make_unique<StartDuringTheStop>();
  StartDuringTheStop& racing = *install;
  WorkflowSteps steps;
  steps.desktopApp = std::move(install);
  WorkflowRig rig(std::move(steps), WorkflowRole::kAdministrator);
  rig.workflow->setStateCode(WorkflowState::kStartDesktopAppInstall);
  ASSERT_TRUE(rig.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return racing.entered.load(); }));
  rig.workflow->StopWorkflow();
  EXPECT_TRUE(racing.started);
  EXPECT_TRUE(racing.joinedAfterTheStart);
}

}  // namespace
