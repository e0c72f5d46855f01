#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "core/install/desktop/DesktopAppInstall.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowBlocks.h"
#include "core/workflow/WorkflowManager.h"
#include "tests/core/workflow/support/StatePrinting.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// The administrator's workflow from the applications document to the installed desktop
// application, against the package service offering the signed stand-in installer library. One
// package service per test program; each test gets its own workflow, folders and view.
class DesktopAppWalk : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<TemporaryFolder>();
    setenv("WEND_ROOT", root_->path().c_str(), 1);
    service_ =
        std::make_unique<PackageService>(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib");
    served_ = readFile(service_->www() + "/services/applications.xml");
  }
  static void TearDownTestSuite() {
    service_.reset();
    root_.reset();
  }

  void SetUp() override {
    ASSERT_NE(service_->port(), 0) << "the package service did not start";
    config_.set("packageServiceUrl", service_->url("/services/applications"));
    std::filesystem::create_directories(shared_.path() + "/Core");
    serve("success");

    DesktopAppInputs inputs(config_, proxy_, quit_, {temp_.path(), shared_.path()});
    inputs.poll = std::chrono::milliseconds(10);
    inputs.manager = manager_;
    WorkflowSteps steps;
    steps.desktopApp = std::make_unique<DesktopAppInstall>(std::move(inputs));
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key_.path;
    workflow_ = std::make_unique<WorkflowManager>(
        WorkflowContext{quit_, config_, proxy_, osVersion_, false, channels_},
        WorkflowCollaborators{view_, gateway_, profile_, survey_, applets_,
                              [a = analytics_] { return a; },
                              std::make_unique<ScriptedInstallHelper>(), std::move(steps)},
        WorkflowRole::kAdministrator, std::move(settings));
  }

  // The served desktop application picks the library's scenario; the stand-in application and
  // the library's log of answers go into this test's folder.
  void serve(const std::string& scenario, const std::string& package = "/packages/pim/") {
    std::string text = served_;
    const std::string manifest = "/packages/pim/manifest.xml";
    // A package folder names the manifest in it; anything else is the manifest's whole URL.
    text.replace(text.find(manifest), manifest.size(),
                 package.back() == '/' ? package + "manifest.xml" : package);
    const std::string element = "<pimScenario>success</pimScenario>";
    text.replace(text.find(element), element.size(),
                 "<pimScenario>" + scenario + "</pimScenario><pimTarget>" + target_.path() +
                     "/Tarn</pimTarget><pimLog>" + answersPath() + "</pimLog>");
    writeFile(service_->www() + "/services/applications.xml", text);
  }
  std::string answersPath() const { return target_.path() + "/answers.log"; }
  std::string answers() const { return readFile(answersPath()); }

  // Steps the workflow (as its thread would) until `done` holds; bounded.
  template <typename Done>
  bool stepUntil(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
      workflow_->runStep();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }

  // Steps from WorkflowState::kApplicationsDocument until the install thread has ended the
  // installation; the state then.
  WorkflowState walk() {
    workflow_->setStateCode(WorkflowState::kApplicationsDocument);
    return finish();
  }
  // Steps from where the workflow stands (a retry included) until the installation ended.
  WorkflowState finish() {
    // The install thread may be done before the step that started it returns.
    for (int i = 0; i < 10 && workflow_->stateCode() < WorkflowState::kDesktopAppInstall; ++i)
      workflow_->runStep();
    for (int i = 0; i < 2000; ++i) {
      const WorkflowState state = workflow_->stateCode();
      if (state == WorkflowState::kDesktopAppInstalled || state == WorkflowState::kFailedFinal ||
          state == WorkflowState::kFinal)
        return state;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return workflow_->stateCode();
  }
  // Steps until an alert (or the proxy prompt) blocks the workflow.
  bool stepUntilAlert() {
    return stepUntil([&] { return workflow_->stateBlock().uiAction == code(UIAction::kBlocked); });
  }

  // A network cut: the package service stops, and later starts again on its port.
  static bool stopService() { return servicePrograms("stop"); }
  static bool restartService() { return servicePrograms("restart"); }

  int packageRequests() const { return service_->requestCount("/packages/pim/Pim.zip"); }
  std::string installed() const { return shared_.path() + "/Core/OrvelPIM.dylib"; }
  std::string workFolder() const { return temp_.path() + "/LoomLBS"; }
  bool applicationInstalled() const {
    return std::filesystem::exists(target_.path() + "/Tarn/Skyloom.app/Skyloom");
  }

  // The download manager's settings, read by SetUp.
  static orvel::PackageDownloadManager::PDMSettings quickManager() {
    orvel::PackageDownloadManager::PDMSettings settings;
    settings.tick = std::chrono::milliseconds(20);
    // A refused connection is tried again soon: the network cuts end at their alert quickly.
    settings.engine.connectRetryWait = std::chrono::milliseconds(5);
    settings.engine.connectRetryWaitLimit = std::chrono::milliseconds(40);
    return settings;
  }

  static inline std::unique_ptr<TemporaryFolder> root_;
  static inline std::unique_ptr<PackageService> service_;
  static inline std::string served_;
  ScopedEnv tool_{"WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL)};
  ScopedEnv trust_{"WEND_CODESIGN_TRUST", std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem"};
  orvel::PackageDownloadManager::PDMSettings manager_ = quickManager();
  TemporaryFolder temp_, shared_, target_;
  PrivateLockKey key_;
  std::atomic<bool> quit_{false};
  ConfigStore config_;
  SharedProxyCredentials proxy_;
  SharedInstallHelperChannels channels_;
  std::string osVersion_;
  RecordingView view_;
  WorkflowRig::NoLink gateway_;
  ScriptedProfile profile_;
  ScriptedSurvey survey_;
  ScriptedApplets applets_;
  std::shared_ptr<RecordingAnalytics> analytics_ = std::make_shared<RecordingAnalytics>();
  std::unique_ptr<WorkflowManager> workflow_;

 private:
  // The service's prefix holds the served tree "www".
  static bool servicePrograms(const char* command) {
    return runProgram({"bash", WEND_SOURCE_DIR "/tools/package-service/package-service", command,
                       std::filesystem::path(service_->www()).parent_path().string()});
  }
};

}  // namespace wendtest
