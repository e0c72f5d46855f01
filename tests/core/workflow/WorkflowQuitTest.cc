#include <gtest/gtest.h>

#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowBlocks.h"
#include "tests/core/workflow/support/WorkflowRig.h"

namespace {

using wendtest::WorkflowRig;
using Params = std::map<std::string, std::string>;

enum class Answer { kNone, kYes, kNo };

struct QuitRow {
  uint32_t state;
  bool closeOverride;
  int priorError;  // raised without retry before the quit, 0 for none
  Answer answer;
  bool asks;
  WorkflowState finalState;
  UIFlag uiFlags;
  int errorCode;
  Params params;
};

class QuitMatrix : public ::testing::TestWithParam<QuitRow> {};

TEST_P(QuitMatrix, EndsAsTheUserAnswered) {
  const QuitRow& row = GetParam();
  WorkflowRig rig(WorkflowRole::kAdministrator);
  rig.workflow->setStateCode(row.state);
  rig.workflow->setScreenId(row.state == 0x705 ? 2 : 9);
  rig.workflow->setProgressEstimate({3, 7, 42});
  rig.workflow->setCloseOverride(row.closeOverride);
  if (row.priorError != 0) rig.workflow->setError(row.priorError, false);
  rig.view.clear();

  rig.workflow->setCurrentUIAction(4);  // "cancelButtonClicked"
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.count("showQuitConfirmation"), row.asks ? 1 : 0);
  if (row.asks) {
    EXPECT_EQ(rig.workflow->stateBlock().uiFlags, code(UIFlag::kPause));
    EXPECT_EQ(rig.workflow->stateBlock().uiAction, code(UIAction::kBlocked));
    if (row.answer == Answer::kYes) rig.workflow->setQuitConfirmed(true);
    rig.workflow->setCurrentUIAction(row.answer == Answer::kYes ? 5 : 6);
  }
  rig.workflow->runStep();

  const WorkflowStateBlock block = rig.workflow->stateBlock();
  EXPECT_EQ(block.stateCode, code(row.finalState));
  EXPECT_EQ(block.uiFlags, code(row.uiFlags));
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
  if (row.state == code(WorkflowState::kProductInstall) && quits) {
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
        // Welcome screen: asks; yes quits as cancelled, no resumes.
        QuitRow{code(WorkflowState::kWelcome), false, 0, Answer::kYes, true, WorkflowState::kFinal,
                UIFlag::kCancel, kStatusCancelled, kWelcome},
        QuitRow{code(WorkflowState::kWelcome), false, 0, Answer::kNo, true, WorkflowState::kWelcome,
                UIFlag::kResume, kStatusSuccess, Params{}},
        // Sign-in page and the spinner before it quit at once.
        QuitRow{code(WorkflowState::kSignInPage), false, 0, Answer::kNone, false,
                WorkflowState::kFinal, UIFlag::kCancel, kStatusCancelled, kMain},
        QuitRow{code(WorkflowState::kNetworkCheck), false, 0, Answer::kNone, false,
                WorkflowState::kFinal, UIFlag::kCancel, kStatusCancelled, kMain},
        // The page overrides the close button: no question.
        QuitRow{code(WorkflowState::kWelcome), true, 0, Answer::kNone, false, WorkflowState::kFinal,
                UIFlag::kCancel, kStatusCancelled, kWelcome},
        // An alert without retry: no question, and the error it showed is recorded.
        QuitRow{code(WorkflowState::kAcquireLocks), false, kStatusOrvelInstallerRunning,
                Answer::kNone, false, WorkflowState::kFinal, UIFlag::kCancel,
                kStatusOrvelInstallerRunning, kMain},
        // During the installation the install thread ends the state.
        QuitRow{code(WorkflowState::kDesktopAppInstall), false, 0, Answer::kYes, true,
                WorkflowState::kDesktopAppInstall, UIFlag::kCancel, kStatusSuccess, kMain},
        // During the product installation the applet work is cancelled and joined first.
        QuitRow{code(WorkflowState::kProductInstall), false, 0, Answer::kYes, true,
                WorkflowState::kFinal, UIFlag::kCancel, kStatusCancelled, kMain},
        QuitRow{code(WorkflowState::kProductInstall), false, 0, Answer::kNo, true,
                WorkflowState::kProductInstall, UIFlag::kPause, kStatusSuccess, Params{}},
        QuitRow{code(WorkflowState::kMainScreen), false, 0, Answer::kYes, true,
                WorkflowState::kFinal, UIFlag::kCancel, kStatusCancelled, kMain}));

TEST(WorkflowQuit, FinalStateEndsTheWorkflowAndFinalizesStartedApplets) {
  for (const bool started : {false, true}) {
    WorkflowRig rig(WorkflowRole::kAdministrator);
    if (started) {
      rig.workflow->setStateCode(0x1901);
      rig.workflow->runStep();
      ASSERT_EQ(rig.workflow->stateCode(), code(WorkflowState::kProductInstall));
    }
    rig.workflow->setStateCode(0x1D00);
    rig.workflow->runStep();
    EXPECT_TRUE(rig.quitRequested);
    EXPECT_EQ(rig.view.count("hideMainWindow"), 1);
    EXPECT_EQ(rig.view.names().back(), "terminateApplication");
    EXPECT_EQ(rig.applets.finalized, started ? 1 : 0);
  }
}

TEST(WorkflowQuit, RetryDuringTheInstallationReportsTheLastError) {
  WorkflowRig rig(WorkflowRole::kAdministrator);
  rig.workflow->setStateCode(0x1606);
  rig.workflow->setError(kStatusDownloadServerUnresponsive, true);
  rig.workflow->setCurrentUIAction(3);  // "retryClicked"
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateBlock().uiFlags, code(UIFlag::kRetry));
  EXPECT_EQ(rig.analytics->events().back(), "retry PIM_STATUS_207");
  EXPECT_EQ(rig.workflow->stateCode(), code(WorkflowState::kDesktopAppInstall));
}

// A quit after an error whose retry went through records 215, not the error that went away; a
// retry that failed again keeps it.
TEST(WorkflowQuit, AnErrorItsRetryClearedIsNotTheQuitsError) {
  struct Row {
    const char* name;
    uint32_t state;
    bool retryWorks;
    int errorCode;
  } rows[] = {
      {"network check", code(WorkflowState::kNetworkCheck), true, kStatusCancelled},
      {"network check failing again", code(WorkflowState::kNetworkCheck), false,
       kStatusNetworkUnavailable},
      {"installation", code(WorkflowState::kDesktopAppInstall), true, kStatusCancelled},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WorkflowRig rig(WorkflowRole::kAdministrator);
    rig.workflow->setStateCode(row.state);
    rig.profile.networkResult = 1;
    if (row.state == code(WorkflowState::kDesktopAppInstall)) {
      rig.workflow->setError(kStatusNetworkUnavailable,
                             true);  // as the installer library's callback raises it
    } else {
      rig.workflow->runStep();
    }
    ASSERT_EQ(rig.workflow->lastError(), kStatusNetworkUnavailable);
    if (row.retryWorks) rig.profile.networkResult = 0;
    rig.workflow->setCurrentUIAction(3);  // "retryClicked"
    rig.workflow->runStep();
    // The callback's next record is good progress: the library got past the error.
    if (row.state == code(WorkflowState::kDesktopAppInstall) && row.retryWorks)
      rig.workflow->setErrorCode(0);
    EXPECT_EQ(rig.workflow->stateCode() != code(WorkflowState::kNetworkCheck), row.retryWorks);

    rig.workflow->setStateCode(0x905);  // a state that quits without asking
    rig.workflow->setCurrentUIAction(4);
    rig.workflow->runStep();
    rig.workflow->runStep();
    EXPECT_EQ(rig.workflow->stateCode(), code(WorkflowState::kFinal));
    EXPECT_EQ(rig.workflow->stateBlock().errorCode, row.errorCode);
  }
}

TEST(WorkflowQuit, RetryOnTheSignInPageLoadsItAgain) {
  WorkflowRig rig(WorkflowRole::kUser);
  rig.workflow->setStateCode(0x905);
  rig.workflow->setCurrentUIAction(3);
  rig.workflow->runStep();
  EXPECT_EQ(rig.view.names(), (std::vector<std::string>{"updateCancelButtonState",
                                                        "showSpinnerScreen", "showSignInView"}));
}

// The install helper's waits (an hour at most) end with the process's quit or the workflow's stop.
TEST(WorkflowHelperQuit, TheHelperIsToldOfAQuitAndOfAStop) {
  WorkflowRig rig(WorkflowRole::kSilent);
  EXPECT_FALSE(rig.helper->quitRequested());
  rig.quitRequested = true;
  EXPECT_TRUE(rig.helper->quitRequested());
  rig.quitRequested = false;
  rig.workflow->StopWorkflow();
  EXPECT_TRUE(rig.helper->quitRequested());
}

}  // namespace
