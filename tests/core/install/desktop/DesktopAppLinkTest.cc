#include <gtest/gtest.h>

#include <filesystem>

#include "core/install/desktop/DesktopAppInstall.h"
#include "core/workflow/WorkflowManager.h"
#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

// The user's process must see the library's error before the state that ends the installation:
// a user's side that met 0x1C00 first would wait for an alert that never comes.
TEST(DesktopAppLinkTest, TheUserSideGetsTheErrorBeforeTheFailedState) {
  ScopedEnv tool("WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL));
  ScopedEnv trust("WEND_CODESIGN_TRUST", std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem");
  TemporaryFolder temp, shared;
  fs::create_directories(shared.path() + "/Core");
  fs::copy_file(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib",
                shared.path() + "/Core/OrvelPIM.dylib");

  InMemoryLink link;
  WorkflowRig user(WorkflowRole::kUser, &link.end(0));
  PrivateLockKey key;
  std::atomic<bool> quit{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  SharedInstallHelperChannels channels;
  std::string osVersion;
  RecordingView view;
  ScriptedProfile profile;
  ScriptedSurvey survey;
  ScriptedApplets applets;
  auto desktop = std::make_unique<DesktopAppInstall>(
      DesktopAppInputs(config, proxy, quit, {temp.path(), shared.path()}));
  DesktopAppInstall& install = *desktop;
  WorkflowSteps steps;
  steps.desktopApp = std::move(desktop);
  WorkflowSettings settings = WorkflowRig::fastSettings();
  settings.lockKeyPath = key.path;
  WorkflowManager silent(
      WorkflowContext{quit, config, proxy, osVersion, false, channels},
      WorkflowCollaborators{view, link.end(1), profile, survey, applets, nullptr,
                            std::make_unique<ScriptedInstallHelper>(), std::move(steps)},
      WorkflowRole::kSilent, std::move(settings));
  link.attach(0, user.workflow.get());
  link.attach(1, &silent);

  TarnApplication application;
  application.installerLibraryVersion = WEND_TEST_PIM_VERSION;
  application.desktopAppXml = "<application><pimScenario>result:45</pimScenario></application>";
  ASSERT_TRUE(install.acquireInstallerLibrary(silent, application));

  for (int run = 0; run < 200; ++run) {
    SCOPED_TRACE(run);
    silent.setError(0, false);
    silent.setCurrentUIAction(UIAction::kNone);
    silent.setStateCode(WorkflowState::kDesktopAppInstall);
    silent.syncState();
    const size_t before = link.carried().size();
    ASSERT_TRUE(install.startInstallWorkflow(silent));
    install.joinInstallThread();
    bool errorSeen = false;
    bool failedSeen = false;
    for (size_t i = before; i < link.carried().size(); ++i) {
      const CarriedPacket packet = link.carried()[i];
      if (packet.from != 1 || packet.type != IMessageGateway::kWorkflowStatePacket) continue;
      const auto block = decodeStateBlock(packet.text);
      ASSERT_TRUE(block);
      // The alert's block carries the blocking action; the alert itself holds the code.
      if (block->uiAction == code(UIAction::kBlocked) &&
          block->stateCode == code(WorkflowState::kDesktopAppInstall))
        errorSeen = true;
      if (block->stateCode == code(WorkflowState::kFailedFinal)) {
        failedSeen = true;
        EXPECT_TRUE(errorSeen);
      }
    }
    EXPECT_TRUE(failedSeen);
    EXPECT_EQ(silent.lastError(), kStatusFileDeleteError);
    EXPECT_EQ(user.workflow->stateCode(), WorkflowState::kFailedFinal);
    EXPECT_EQ(user.workflow->stateBlock().uiAction, code(UIAction::kBlocked));
  }
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
