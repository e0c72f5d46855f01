#include <gtest/gtest.h>

#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::waitUntil;
using wendtest::WorkflowRig;
using Params = std::map<std::string, std::string>;

enum class Answer { kNone, kYes, kNo };

struct QuitRow {
  WorkflowState state;
  bool closeOverride;
  int priorError;  // raised without retry before the quit, 0 for none
  Answer answer;
  bool asks;
  uint32_t finalState;
  int uiFlags;
  int errorCode;
  Params params;
};

class QuitMatrix : public ::testing::TestWithParam<QuitRow> {};

TEST_P(QuitMatrix, EndsAsTheUserAnswered) {
  const QuitRow& row = GetParam();
  WorkflowRig rig(WorkflowRole::kAdministrator);
  rig.workflow->setStateCode(row.state);
  rig.workflow->setScreenId(row.state == WorkflowState::kWelcome ? ScreenId::kWelcome
                                                                 : ScreenId::kMain);
  rig.workflow->setProgressEstimate({3, 7, 42});
  rig.workflow->setCloseOverride(row.closeOverride);
  if (row.priorError != 0) rig.workflow->setError(row.priorError, false);
  rig.view.clear();

  rig.workflow->setCurrentUIAction(UIAction::kQuitRequested);  // "cancelButtonClicked"
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.count("showQuitConfirmation"), row.asks ? 1 : 0);
  if (row.asks) {
    EXPECT_EQ(rig.workflow->uiFlags(), UIFlag::kPause);
    EXPECT_EQ(rig.workflow->uiAction(), UIAction::kBlocked);
    if (row.answer == Answer::kYes) rig.workflow->setQuitConfirmed(true);
    rig.workflow->setCurrentUIAction(row.answer == Answer::kYes ? UIAction::kQuitConfirmed
                                                                : UIAction::kQuitDeclined);
  }
  rig.workflow->runStep();

  const WorkflowStateBlock block = rig.workflow->stateBlock();
  EXPECT_EQ(block.stateCode, row.finalState);
  EXPECT_EQ(block.uiFlags, row.uiFlags);
  EXPECT_EQ(block.errorCode, row.errorCode);
  const bool quits = row.answer != Answer::kNo;
  EXPECT_EQ(rig.view.count("showQuittingScreen"), quits ? 1 : 0);
  if (quits) {
    EXPECT_EQ(rig.analytics->events().back(), "lbs-quit-clicked");
    EXPECT_EQ(rig.analytics->lastParams(), row.params);
    EXPECT_EQ(rig.view.last("updateCancelButtonState").args[0], "false");
  } else {
    EXPECT_EQ(rig.view.last("updateCancelButtonState").args[0], "true");
  }
  if (row.state == WorkflowState::kProductInstall && quits) {
    EXPECT_EQ(rig.applets.actions(), std::vector<std::string>{"cancel user=- location=-"});
    EXPECT_EQ(rig.productInstall->joins, 1);
  }
}

const Params kWelcome = {{"screen-while-quit", "Welcome-Screen"}};
const Params kMain = {{"screen-while-quit", "Main-Screen"},
                      {"minutes-left-min", "3"},
                      {"minutes-left-max", "7"},
                      {"progress-while-quit", "42"}};

INSTANTIATE_TEST_SUITE_P(
    Rows, QuitMatrix,
    ::testing::Values(
        // Welcome screen: asks; yes quits with 215, no resumes.
        QuitRow{WorkflowState::kWelcome, false, 0, Answer::kYes, true, code(WorkflowState::kFinal),
                code(UIFlag::kCancel), kStatusCancelled, kWelcome},
        QuitRow{WorkflowState::kWelcome,
                false,
                0,
                Answer::kNo,
                true,
                code(WorkflowState::kWelcome),
                code(UIFlag::kResume),
                0,
                {}},
        // Sign-in page and the spinner before it quit at once.
        QuitRow{WorkflowState::kSignInPage, false, 0, Answer::kNone, false,
                code(WorkflowState::kFinal), code(UIFlag::kCancel), kStatusCancelled, kMain},
        QuitRow{WorkflowState::kNetworkCheck, false, 0, Answer::kNone, false,
                code(WorkflowState::kFinal), code(UIFlag::kCancel), kStatusCancelled, kMain},
        // The page overrides the close button: no question.
        QuitRow{WorkflowState::kWelcome, true, 0, Answer::kNone, false, code(WorkflowState::kFinal),
                code(UIFlag::kCancel), kStatusCancelled, kWelcome},
        // An alert without retry: no question, and the error it showed is recorded.
        QuitRow{WorkflowState::kAcquireLocks, false, kStatusOrvelInstallerRunning, Answer::kNone,
                false, code(WorkflowState::kFinal), code(UIFlag::kCancel),
                kStatusOrvelInstallerRunning, kMain},
        // During the installation the install thread ends the state.
        QuitRow{WorkflowState::kDesktopAppInstall, false, 0, Answer::kYes, true,
                code(WorkflowState::kDesktopAppInstall), code(UIFlag::kCancel), 0, kMain},
        // During the product installation the applet work is cancelled and joined first.
        QuitRow{WorkflowState::kProductInstall, false, 0, Answer::kYes, true,
                code(WorkflowState::kFinal), code(UIFlag::kCancel), kStatusCancelled, kMain},
        QuitRow{WorkflowState::kProductInstall,
                false,
                0,
                Answer::kNo,
                true,
                code(WorkflowState::kProductInstall),
                code(UIFlag::kPause),
                0,
                {}},
        QuitRow{WorkflowState::kMainScreen, false, 0, Answer::kYes, true,
                code(WorkflowState::kFinal), code(UIFlag::kCancel), kStatusCancelled, kMain}));

TEST(WorkflowQuit, FinalStateEndsTheWorkflowAndFinalizesStartedApplets) {
  for (const bool started : {false, true}) {
    WorkflowRig rig(WorkflowRole::kAdministrator);
    if (started) {
      rig.workflow->setStateCode(WorkflowState::kStartProductInstall);
      rig.workflow->runStep();
      ASSERT_EQ(rig.workflow->stateCode(), WorkflowState::kProductInstall);
    }
    rig.workflow->setStateCode(WorkflowState::kFinal);
    rig.workflow->runStep();
    EXPECT_TRUE(rig.quitRequested);
    EXPECT_EQ(rig.view.count("hideMainWindow"), 1);
    EXPECT_EQ(rig.view.names().back(), "terminateApplication");
    EXPECT_EQ(rig.applets.finalized, started ? 1 : 0);
  }
}

TEST(WorkflowQuit, RetryDuringTheInstallationReportsTheLastError) {
  WorkflowRig rig(WorkflowRole::kAdministrator);
  rig.workflow->setStateCode(WorkflowState::kDesktopAppInstall);
  rig.workflow->setError(kStatusDownloadServerUnresponsive, true);
  rig.workflow->setCurrentUIAction(UIAction::kRetry);  // "retryClicked"
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->uiFlags(), UIFlag::kRetry);
  EXPECT_EQ(rig.analytics->events().back(), "retry PIM_STATUS_207");
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kDesktopAppInstall);
}

// A quit after an error whose retry went through records 215, not the error that went away; a
// retry that failed again keeps it.
TEST(WorkflowQuit, AnErrorItsRetryClearedIsNotTheQuitsError) {
  struct Row {
    const char* name;
    WorkflowState state;
    bool retryWorks;
    int errorCode;
  } rows[] = {
      {"network check", WorkflowState::kNetworkCheck, true, kStatusCancelled},
      {"network check failing again", WorkflowState::kNetworkCheck, false,
       kStatusNetworkUnavailable},
      {"installation", WorkflowState::kDesktopAppInstall, true, kStatusCancelled},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WorkflowRig rig(WorkflowRole::kAdministrator);
    rig.workflow->setStateCode(row.state);
    rig.profile.networkResult = 1;
    if (row.state == WorkflowState::kDesktopAppInstall) {
      rig.workflow->setError(kStatusNetworkUnavailable,
                             true);  // as the installer library's callback raises it
    } else {
      rig.workflow->runStep();
    }
    ASSERT_EQ(rig.workflow->lastError(), kStatusNetworkUnavailable);
    if (row.retryWorks) rig.profile.networkResult = 0;
    rig.workflow->setCurrentUIAction(UIAction::kRetry);  // "retryClicked"
    rig.workflow->runStep();
    // The callback's next record is good progress: the library got past the error.
    if (row.state == WorkflowState::kDesktopAppInstall && row.retryWorks)
      rig.workflow->setErrorCode(0);
    EXPECT_EQ(rig.workflow->stateCode() != WorkflowState::kNetworkCheck, row.retryWorks);

    rig.workflow->setStateCode(WorkflowState::kSignInPage);  // a state that quits without asking
    rig.workflow->setCurrentUIAction(UIAction::kQuitRequested);
    rig.workflow->runStep();
    rig.workflow->runStep();
    EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kFinal);
    EXPECT_EQ(rig.workflow->stateBlock().errorCode, row.errorCode);
  }
}

TEST(WorkflowQuit, RetryOnTheSignInPageLoadsItAgain) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setStateCode(WorkflowState::kSignInPage);
  rig.workflow->setCurrentUIAction(UIAction::kRetry);
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.names(), (std::vector<std::string>{"updateCancelButtonState",
                                                        "showSpinnerScreen", "showSignInView"}));
}

// The install helper's waits (an hour at most) end with the process's quit, a quit the page asked
// for, or the workflow's stop.
TEST(WorkflowHelperQuit, TheHelperIsToldOfAQuitAndOfAStop) {
  WorkflowRig rig(WorkflowRole::kSilent);
  EXPECT_FALSE(rig.helper->quitRequested());
  rig.quitRequested = true;
  EXPECT_TRUE(rig.helper->quitRequested());
  rig.quitRequested = false;
  rig.workflow->setCurrentUIAction(UIAction::kQuitRequested);  // "cancelButtonClicked"
  EXPECT_TRUE(rig.helper->quitRequested());
  rig.workflow->setCurrentUIAction(UIAction::kNone);
  rig.workflow->StopWorkflow();
  EXPECT_TRUE(rig.helper->quitRequested());
}

// A quit from the page while a helper's launch or handshake waits for it: the wait ends, the quit
// is asked as in any state, and a declined one takes up what the wait left undone.
struct HelperWaitRow {
  const char* name;
  WorkflowRole role;
  WorkflowState state;
  bool confirmed;
  std::vector<std::string> calls;
};

void PrintTo(const HelperWaitRow& row, std::ostream* out) {
  *out << row.name;
}

class HelperWaitQuit : public ::testing::TestWithParam<HelperWaitRow> {};

TEST_P(HelperWaitQuit, EndsTheWaitAndIsAsked) {
  const HelperWaitRow& row = GetParam();
  WorkflowRig rig(row.role);
  rig.helper->hold(true);
  rig.workflow->setStateCode(row.state);
  ASSERT_TRUE(rig.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return rig.helper->waiting(); }));
  rig.workflow->setCurrentUIAction(UIAction::kQuitRequested);  // "cancelButtonClicked"
  ASSERT_TRUE(waitUntil([&] { return rig.view.count("showQuitConfirmation") == 1; }));
  EXPECT_EQ(rig.workflow->stateCode(), row.state);

  rig.helper->hold(false);
  rig.workflow->setQuitConfirmed(row.confirmed);
  rig.workflow->setCurrentUIAction(row.confirmed ? UIAction::kQuitConfirmed
                                                 : UIAction::kQuitDeclined);
  if (row.role == WorkflowRole::kUser && !row.confirmed) {
    ASSERT_TRUE(
        waitUntil([&] { return rig.workflow->stateCode() == WorkflowState::kProductInstall; }));
  } else {
    ASSERT_TRUE(waitUntil([&] { return rig.quitRequested.load(); }));
  }
  rig.workflow->StopWorkflow();
  EXPECT_EQ(rig.helper->calls(), row.calls);
  EXPECT_EQ(rig.workflow->stateBlock().errorCode, row.confirmed ? kStatusCancelled : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HelperWaitQuit,
    ::testing::Values(HelperWaitRow{"SecondHandshakeQuit",
                                    WorkflowRole::kUser,
                                    WorkflowState::kHelperHandshake,
                                    true,
                                    {"handshake helper-pipe-2"}},
                      HelperWaitRow{"SecondHandshakeAgain",
                                    WorkflowRole::kUser,
                                    WorkflowState::kHelperHandshake,
                                    false,
                                    {"handshake helper-pipe-2", "handshake helper-pipe-2"}},
                      HelperWaitRow{"LaunchQuit",
                                    WorkflowRole::kSilent,
                                    WorkflowState::kDesktopAppInstalled,
                                    true,
                                    {"launch helper-pipe-1"}},
                      // The cut launch starts again; the one that never began starts once.
                      HelperWaitRow{"LaunchAgain",
                                    WorkflowRole::kSilent,
                                    WorkflowState::kDesktopAppInstalled,
                                    false,
                                    {"launch helper-pipe-1", "launch helper-pipe-1",
                                     "launch helper-pipe-2"}}),
    [](const ::testing::TestParamInfo<HelperWaitRow>& row) { return row.param.name; });

// A launch whose calls are counted. Any thread.
class CountingLaunch final : public IDesktopAppLaunch {
 public:
  void launchDesktopApp() override { ++launches; }
  void loadLaunchAgent() override { ++agents; }
  void relaunchFromTempLocation() override { ++relaunches; }
  std::atomic<int> launches{0};
  std::atomic<int> agents{0};
  std::atomic<int> relaunches{0};
};

// A user's workflow in the launch step, with the given waits, on the rig's parts and quit flag
// (the rig's own workflow never starts).
struct LaunchingWorkflow {
  LaunchingWorkflow(WorkflowRig& rig, std::chrono::milliseconds pause,
                    std::chrono::milliseconds wait) {
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = rig.key.path;
    settings.launchPause = pause;
    settings.launchWait = settings.launchWaitLong = wait;
    auto counting = std::make_unique<CountingLaunch>();
    launch = counting.get();
    WorkflowSteps steps;
    steps.launch = std::move(counting);
    workflow = std::make_unique<WorkflowManager>(
        WorkflowContext{rig.quitRequested, rig.config, rig.proxy, rig.requiredOsVersion, false,
                        rig.channels},
        WorkflowCollaborators{rig.view, rig.ownGateway, rig.profile, rig.survey, rig.applets,
                              [a = rig.analytics]() -> std::shared_ptr<IAnalytics> { return a; },
                              std::make_unique<wendtest::ScriptedInstallHelper>(),
                              std::move(steps)},
        WorkflowRole::kUser, settings);
    workflow->setStateCode(WorkflowState::kLaunch);
  }
  CountingLaunch* launch = nullptr;
  std::unique_ptr<WorkflowManager> workflow;
};

constexpr std::chrono::hours kHour{1};

int countOf(const std::vector<std::string>& events, const std::string& event) {
  return static_cast<int>(std::count(events.begin(), events.end(), event));
}

// Before the launch, a quit ends the pause and is asked as in any state: confirmed, nothing is
// launched; declined, the pause goes on and the launch is not begun again.
TEST(WorkflowLaunchQuit, AQuitBeforeTheLaunchEndsThePauseAndIsAsked) {
  WorkflowRig rig(WorkflowRole::kUser);
  LaunchingWorkflow launching(rig, kHour, kHour);
  WorkflowManager& workflow = *launching.workflow;
  ASSERT_TRUE(workflow.StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return rig.view.count("showLaunchingProductScreen") == 1; }));
  workflow.setCurrentUIAction(UIAction::kQuitRequested);
  ASSERT_TRUE(waitUntil([&] { return rig.view.count("showQuitConfirmation") == 1; }));
  workflow.setCurrentUIAction(UIAction::kQuitDeclined);
  ASSERT_TRUE(waitUntil([&] { return workflow.uiFlags() == UIFlag::kResume; }));
  workflow.setCurrentUIAction(UIAction::kQuitRequested);
  ASSERT_TRUE(waitUntil([&] { return rig.view.count("showQuitConfirmation") == 2; }));
  workflow.setQuitConfirmed(true);
  workflow.setCurrentUIAction(UIAction::kQuitConfirmed);
  ASSERT_TRUE(waitUntil([&] { return rig.quitRequested.load(); }));
  workflow.StopWorkflow();
  EXPECT_EQ(workflow.stateBlock().errorCode, kStatusCancelled);
  EXPECT_EQ(launching.launch->launches, 0);
  EXPECT_EQ(rig.view.count("showLaunchingProductScreen"), 1);
  EXPECT_EQ(countOf(rig.analytics->events(), "lbs-product-launch"), 1);
}

// Once the desktop application is launched the installation is over: a quit ends the wait for it
// and the step finishes as it would have, without asking.
TEST(WorkflowLaunchQuit, AQuitAfterTheLaunchEndsTheWaitAndFinishes) {
  WorkflowRig rig(WorkflowRole::kUser);
  LaunchingWorkflow launching(rig, std::chrono::milliseconds(0), kHour);
  WorkflowManager& workflow = *launching.workflow;
  ASSERT_TRUE(workflow.StartWorkflow());
  ASSERT_TRUE(waitUntil([&] { return launching.launch->launches == 1; }));
  workflow.setCurrentUIAction(UIAction::kQuitRequested);
  ASSERT_TRUE(waitUntil([&] { return rig.quitRequested.load(); }));
  workflow.StopWorkflow();
  EXPECT_EQ(workflow.stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(workflow.stateBlock().errorCode, 0);
  EXPECT_EQ(rig.view.count("showQuitConfirmation"), 0);
  EXPECT_EQ(launching.launch->launches, 1);
  EXPECT_EQ(launching.launch->agents, 1);
  EXPECT_EQ(launching.launch->relaunches, 1);
}

}  // namespace
