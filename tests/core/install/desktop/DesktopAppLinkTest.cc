#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/install/desktop/DesktopAppInstall.h"
#include "core/workflow/WorkflowManager.h"
#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

// A user's workflow and its elevated copy's, joined in memory. The copy installs the desktop
// application with the signed stand-in library, which writes its answers to a log.
class CopyInstallLink : public ::testing::Test {
 protected:
  CopyInstallLink() {
    fs::create_directories(shared_.path() + "/Core");
    fs::copy_file(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib",
                  shared_.path() + "/Core/OrvelPIM.dylib");
    auto desktop = std::make_unique<DesktopAppInstall>(
        DesktopAppInputs(config_, proxy_, quit_, {temp_.path(), shared_.path()}));
    install_ = desktop.get();
    WorkflowSteps steps;
    steps.desktopApp = std::move(desktop);
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key_.path;
    copy_ = std::make_unique<WorkflowManager>(
        WorkflowContext{quit_, config_, proxy_, osVersion_, false, channels_},
        WorkflowCollaborators{view_, link_.end(1), profile_, survey_, applets_, nullptr,
                              std::make_unique<ScriptedInstallHelper>(), std::move(steps)},
        WorkflowRole::kSilent, std::move(settings));
    link_.attach(0, user_.workflow.get());
    link_.attach(1, copy_.get());
  }

  // Loads the library, which is to play `scenario`.
  bool acquire(const std::string& scenario) {
    TarnApplication application;
    application.installerLibraryVersion = WEND_TEST_PIM_VERSION;
    application.desktopAppXml = "<application><pimScenario>" + scenario + "</pimScenario><pimLog>" +
                                answersPath() + "</pimLog></application>";
    return install_->acquireInstallerLibrary(*copy_, application);
  }
  std::string answersPath() const { return log_.path() + "/answers.log"; }
  bool answered(const std::string& answer) const {
    return readFile(answersPath()).find(answer) != std::string::npos;
  }

  // The state blocks the copy sent from the link's packet `first` on.
  std::vector<WorkflowStateBlock> blocksSentFrom(size_t first) const {
    std::vector<WorkflowStateBlock> blocks;
    const std::vector<CarriedPacket> carried = link_.carried();
    for (size_t i = first; i < carried.size(); ++i) {
      if (carried[i].from != 1 || carried[i].type != IMessageGateway::kWorkflowStatePacket)
        continue;
      if (const auto block = decodeStateBlock(carried[i].text)) blocks.push_back(*block);
    }
    return blocks;
  }

  // The library runs in 0x1606 and the user's quit question is open, forwarded to the copy as
  // the page's cancel: the library is paused. The link's packet count then.
  size_t pauseAtTheQuitQuestion() {
    EXPECT_TRUE(acquire("slow"));
    copy_->setStateCode(WorkflowState::kDesktopAppInstall);
    copy_->syncState();
    EXPECT_TRUE(install_->startInstallWorkflow(*copy_));
    // The install thread clears the flags before the library's first record.
    EXPECT_TRUE(waitUntil([&] { return answered("-> 0"); }));
    copy_->setCurrentUIAction(UIAction::kQuitRequested);
    copy_->runStep();
    EXPECT_EQ(view_.count("showQuitConfirmation"), 1);
    EXPECT_TRUE(waitUntil([&] { return answered("-> 2"); }));
    return link_.carried().size();
  }

  ScopedEnv tool_{"WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL)};
  ScopedEnv trust_{"WEND_CODESIGN_TRUST", std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem"};
  TemporaryFolder temp_, shared_, log_;
  InMemoryLink link_;
  WorkflowRig user_{WorkflowRole::kUser, &link_.end(0)};
  PrivateLockKey key_;
  std::atomic<bool> quit_{false};  // the copy's process quits, as its own SIGTERM makes it
  ConfigStore config_;
  SharedProxyCredentials proxy_;
  SharedInstallHelperChannels channels_;
  std::string osVersion_;
  RecordingView view_;
  ScriptedProfile profile_;
  ScriptedSurvey survey_;
  ScriptedApplets applets_;
  DesktopAppInstall* install_ = nullptr;  // the copy's
  std::unique_ptr<WorkflowManager> copy_;
};

// The user's process must see the library's error before the state that ends the installation:
// a user's side that met 0x1C00 first would wait for an alert that never comes.
TEST_F(CopyInstallLink, TheUserSideGetsTheErrorBeforeTheFailedState) {
  ASSERT_TRUE(acquire("result:45"));
  for (int run = 0; run < 200; ++run) {
    SCOPED_TRACE(run);
    copy_->setError(0, false);
    copy_->setCurrentUIAction(UIAction::kNone);
    copy_->setStateCode(WorkflowState::kDesktopAppInstall);
    copy_->syncState();
    const size_t before = link_.carried().size();
    ASSERT_TRUE(install_->startInstallWorkflow(*copy_));
    install_->joinInstallThread();
    bool errorSeen = false;
    bool failedSeen = false;
    for (const WorkflowStateBlock& block : blocksSentFrom(before)) {
      // The alert's block carries the blocking action; the alert itself holds the code.
      if (block.uiAction == code(UIAction::kBlocked) &&
          block.stateCode == code(WorkflowState::kDesktopAppInstall))
        errorSeen = true;
      if (block.stateCode == code(WorkflowState::kFailedFinal)) {
        failedSeen = true;
        EXPECT_TRUE(errorSeen);
      }
    }
    EXPECT_TRUE(failedSeen);
    EXPECT_EQ(copy_->lastError(), kStatusFileDeleteError);
    EXPECT_EQ(user_.workflow->stateCode(), WorkflowState::kFailedFinal);
    EXPECT_EQ(user_.workflow->stateBlock().uiAction, code(UIAction::kBlocked));
  }
}

// The copy's own SIGTERM is no answer of the user's: the paused library is cancelled, and the
// user's process hears nothing of it, finds the copy gone and shows the error for a lost copy.
TEST_F(CopyInstallLink, ItsOwnEndLeavesTheUserToFindItGone) {
  const size_t before = pauseAtTheQuitQuestion();
  quit_ = true;
  install_->joinInstallThread();
  EXPECT_TRUE(answered("-> 4"));
  for (const WorkflowStateBlock& block : blocksSentFrom(before)) {
    EXPECT_EQ(block.stateCode, code(WorkflowState::kDesktopAppInstall));
    EXPECT_NE(block.errorCode, kStatusCancelled);
  }
  EXPECT_EQ(user_.workflow->stateCode(), WorkflowState::kDesktopAppInstall);
  link_.drop();
  user_.workflow->runStep();
  ASSERT_EQ(user_.view.count("showErrorAlert"), 1);
  EXPECT_EQ(user_.view.last("showErrorAlert").args[2], "P1");
}

// The user's quit, confirmed in the same place, still ends the installation on both sides.
TEST_F(CopyInstallLink, TheUsersQuitEndsBothSidesCancelled) {
  pauseAtTheQuitQuestion();
  copy_->setQuitConfirmed(true);
  copy_->setCurrentUIAction(UIAction::kQuitConfirmed);
  copy_->runStep();
  install_->joinInstallThread();
  EXPECT_EQ(user_.workflow->stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(user_.workflow->stateBlock().errorCode, kStatusCancelled);
}

// An install thread that is done before its start returns keeps its final state.
TEST(DesktopAppLinkTest, AThreadFasterThanItsStepKeepsItsState) {
  class InstantInstall final : public IDesktopAppInstall {
   public:
    explicit InstantInstall(uint32_t end) : end_(end) {}
    bool startInstallWorkflow(IInstallWorkflow& workflow) override {
      workflow.setStateCode(static_cast<WorkflowState>(end_));
      return true;
    }

   private:
    const uint32_t end_;
  };
  for (const uint32_t end : {code(WorkflowState::kDesktopAppInstalled),
                             code(WorkflowState::kFailedFinal), code(WorkflowState::kFinal)}) {
    PrivateLockKey key;
    std::atomic<bool> quit{false};
    ConfigStore config;
    SharedProxyCredentials proxy;
    SharedInstallHelperChannels channels;
    std::string osVersion;
    RecordingView view;
    WorkflowRig::NoLink gateway;
    ScriptedProfile profile;
    ScriptedSurvey survey;
    ScriptedApplets applets;
    WorkflowSteps steps;
    steps.desktopApp = std::make_unique<InstantInstall>(end);
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key.path;
    WorkflowManager workflow(
        WorkflowContext{quit, config, proxy, osVersion, false, channels},
        WorkflowCollaborators{view, gateway, profile, survey, applets, nullptr,
                              std::make_unique<ScriptedInstallHelper>(), std::move(steps)},
        WorkflowRole::kAdministrator, std::move(settings));
    workflow.setStateCode(WorkflowState::kStartDesktopAppInstall);
    workflow.runStep();
    EXPECT_EQ(code(workflow.stateCode()), end);
  }
}

}  // namespace
