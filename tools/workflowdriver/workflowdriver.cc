// Runs the administrator's desktop-application steps of the workflow from the applications
// document to the installed application, with a console view: screens, the progress line and
// alerts are printed. With --pause-at=N the "user" asks to quit once the progress reaches N and
// declines a moment later, which pauses and resumes the installer library.
//   workflowdriver PACKAGE_SERVICE_URL SHARED_COMPONENTS TEMP_FOLDER [--pause-at=N]
// Exit status 0 when the installation reached DesktopAppInstalled. With --whole it runs a whole
// installation instead (WholeInstallation.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/context/StandInParts.h"
#include "core/install/desktop/DesktopAppInstall.h"
#include "core/workflow/WorkflowManager.h"
#include "tools/workflowdriver/WholeInstallation.h"

namespace {

class ConsoleView final : public IViewMediator {
 public:
  void sendMessageToView(const std::string&, const std::string&) override {}
  void onMessageFromView(const std::string&, const std::string&) override {}
  void updateTarnProgress(int progress, bool) override {
    std::printf("\rinstalling the desktop application: %3d%%", progress);
    std::fflush(stdout);
  }
  void updateTarnInstallWeightage(const std::string& size) override {
    std::printf("\ndownload size: %s bytes\n", size.c_str());
  }
  void showErrorAlert(const std::string& type, int retryMode, const std::string& code,
                      const std::string&, const std::string&, const std::string&, bool) override {
    std::printf("\nalert %s %s%s\n", type.c_str(), code.c_str(),
                retryMode == 1 ? " (retry offered)" : "");
  }
  void showProxyAlert() override { std::printf("\nproxy credentials asked\n"); }
  void showQuitConfirmation() override { std::printf("\nquit? (the installation is paused)\n"); }
};

bool finished(uint32_t state) {
  return state == code(WorkflowState::kDesktopAppInstalled) ||
         state == code(WorkflowState::kFailedFinal) || state == code(WorkflowState::kFinal);
}

}  // namespace

int main(int argc, char** argv) {
  if (isRelaunchedCopy(argc, argv)) return runRelaunchedCopy(argc, argv);
  if (wantsWholeInstallation(argc, argv)) return runWholeInstallation(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: %s PACKAGE_SERVICE_URL SHARED_COMPONENTS TEMP_FOLDER [--pause-at=N]\n",
                 argv[0]);
    return 2;
  }
  int pauseAt = -1;
  if (argc > 4 && std::string(argv[4]).rfind("--pause-at=", 0) == 0)
    pauseAt = std::atoi(argv[4] + 11);

  StandInPartsFactory parts;
  auto gateway = parts.makeMessageGateway();
  auto profile = parts.makeSignInProfile();
  auto survey = parts.makeSurveyManager();
  auto applets = parts.makeAppletMessageManager();
  ConsoleView view;
  std::atomic<bool> quit{false};
  ConfigStore config;
  config.set("packageServiceUrl", argv[1]);
  SharedProxyCredentials proxy;
  SharedInstallHelperChannels channels;
  std::string osVersion;

  WorkflowSteps steps;
  steps.desktopApp = std::make_unique<DesktopAppInstall>(
      DesktopAppInputs(config, proxy, quit, {argv[3], argv[2]}));
  WorkflowManager workflow(
      WorkflowContext{quit, config, proxy, osVersion, false, channels},
      WorkflowCollaborators{view, *gateway, *profile, *survey, *applets, nullptr,
                            parts.makeInstallHelper(), std::move(steps)},
      WorkflowRole::kAdministrator);

  workflow.setStateCode(WorkflowState::kApplicationsDocument);
  bool paused = false;
  std::chrono::steady_clock::time_point resumeAt;
  while (!finished(code(workflow.stateCode()))) {
    workflow.runStep();
    const WorkflowStateBlock block = workflow.stateBlock();
    if (block.uiAction == code(UIAction::kBlocked) &&
        block.stateCode < code(WorkflowState::kDesktopAppInstall)) {
      break;  // an alert nobody answers
    }
    if (pauseAt >= 0 && !paused && block.stateCode == code(WorkflowState::kDesktopAppInstall) &&
        block.tarnProgress >= pauseAt) {
      paused = true;
      workflow.setCurrentUIAction(UIAction::kQuitRequested);
      resumeAt = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    }
    if (paused && resumeAt.time_since_epoch().count() != 0 &&
        std::chrono::steady_clock::now() >= resumeAt) {
      std::printf("\nquit declined: resuming\n");
      workflow.setCurrentUIAction(UIAction::kQuitDeclined);
      resumeAt = {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const uint32_t state = code(workflow.stateCode());
  std::printf("\nworkflow state 0x%X\n", state);
  workflow.StopWorkflow();
  return state == code(WorkflowState::kDesktopAppInstalled) ? 0 : 1;
}
