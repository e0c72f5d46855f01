#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/install/desktop/DesktopAppInstall.h"
#include "core/workflow/WorkflowManager.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestServer.h"

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

// The administrator's workflow from the applications document to the installed desktop
// application, against the package service offering the signed stand-in installer library.
class DesktopAppWalkTest : public ::testing::Test {
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
    fs::create_directories(shared_.path() + "/Core");
    serve("success");

    DesktopAppInputs inputs(config_, proxy_, quit_, {temp_.path(), shared_.path()});
    inputs.poll = std::chrono::milliseconds(10);
    inputs.manager.tick = std::chrono::milliseconds(20);
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

  // Steps from 0x1302 until the install thread has ended the installation; the state then.
  uint32_t walk() {
    workflow_->setStateCode(WorkflowState::kApplicationsDocument);
    // The install thread may be done before the step that started it returns.
    for (int i = 0; i < 10 && workflow_->stateCode() < WorkflowState::kDesktopAppInstall; ++i)
      workflow_->runStep();
    for (int i = 0; i < 2000; ++i) {
      const uint32_t state = code(workflow_->stateCode());
      if (state == 0x1702 || state == 0x1C00 || state == 0x1D00) return state;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return code(workflow_->stateCode());
  }

  int packageRequests() const { return service_->requestCount("/packages/pim/Pim.zip"); }
  std::string installed() const { return shared_.path() + "/Core/OrvelPIM.dylib"; }

  static inline std::unique_ptr<TemporaryFolder> root_;
  static inline std::unique_ptr<PackageService> service_;
  static inline std::string served_;
  ScopedEnv tool_{"WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL)};
  ScopedEnv trust_{"WEND_CODESIGN_TRUST", std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem"};
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
};

TEST_F(DesktopAppWalkTest, MissingLibraryIsDownloadedCheckedLoadedAndRun) {
  const int before = packageRequests();
  EXPECT_EQ(walk(), 0x1702u) << answers();
  EXPECT_GT(packageRequests(), before);
  // One "pimx" file: the library came from its folder inside the work folder.
  EXPECT_TRUE(fs::exists(temp_.path() + "/LoomLBS/LoomLBS/OrvelPIM.pimx"));
  EXPECT_TRUE(fs::exists(target_.path() + "/Tarn/Skyloom.app/Skyloom"));
  EXPECT_EQ(fs::status(temp_.path() + "/LoomLBS").permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_EQ(view_.last("updateTarnProgress").args.at(0), "100");
}

TEST_F(DesktopAppWalkTest, TwoPimxFilesTakeTheLibraryFromTheWorkFolder) {
  serve("success", "/packages/pim2/");
  EXPECT_EQ(walk(), 0x1702u) << answers();
  EXPECT_TRUE(fs::exists(temp_.path() + "/LoomLBS/first/OrvelPIM.pimx"));
  EXPECT_TRUE(fs::exists(target_.path() + "/Tarn/Skyloom.app/Skyloom"));
}

// The library's package through the fault-injecting server: a corrupt answer is fetched again
// unseen; a package that stays corrupt ends at its error's alert.
TEST_F(DesktopAppWalkTest, CorruptPackageIsRepairedOrEndsAtItsAlert) {
  testserver::TestServerSettings settings;
  settings.root = service_->www();
  testserver::TestServer server(settings);
  ASSERT_TRUE(server.start());
  std::string manifest = readFile(service_->www() + "/packages/pim/manifest.xml");
  for (size_t at; (at = manifest.find(service_->url("/"))) != std::string::npos;) {
    manifest.replace(at, service_->url("/").size(), server.url("/"));
  }
  writeFile(service_->www() + "/packages/pim/faulty.xml", manifest);
  serve("success", server.url("/packages/pim/faulty.xml"));

  testserver::Fault corrupt;
  corrupt.kind = testserver::FaultKind::CorruptBody;
  server.addRule({"/packages/pim/Pim.zip", 2, 1, corrupt});
  EXPECT_EQ(walk(), 0x1702u);
  EXPECT_GT(server.requestsFor("/packages/pim/Pim.zip").size(), 2u);  // the corrupt one again

  server.clearRules();
  server.addRule({"/packages/pim/Pim.zip", 1, 0, corrupt});
  workflow_->setStateCode(WorkflowState::kInstallerLibrary);
  workflow_->runStep();
  EXPECT_EQ(workflow_->stateCode(), WorkflowState::kInstallerLibrary);
  // Which manager code a corruption past repair gets is the manager's; the alert shows its map.
  EXPECT_GT(workflow_->lastError(), 200);
  EXPECT_EQ(view_.last("showErrorAlert").args.at(2), "P" + std::to_string(workflow_->lastError()));
}

TEST_F(DesktopAppWalkTest, InstalledLibraryAtTheVersionIsCopiedNotDownloaded) {
  fs::copy_file(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib", installed());
  const int before = packageRequests();
  EXPECT_EQ(walk(), 0x1702u);
  EXPECT_EQ(packageRequests(), before);
  EXPECT_TRUE(fs::exists(temp_.path() + "/LoomLBS/OrvelPIM.dylib"));
}

TEST_F(DesktopAppWalkTest, QuitDuringTheInstallationPausesThenCancelsOrResumes) {
  for (const bool confirm : {true, false}) {
    SCOPED_TRACE(confirm ? "confirmed" : "declined");
    serve("slow");
    fs::remove(answersPath());
    workflow_->setStateCode(WorkflowState::kApplicationsDocument);
    ASSERT_TRUE(
        stepUntil([&] { return workflow_->stateCode() == WorkflowState::kDesktopAppInstall; }));
    ASSERT_TRUE(stepUntil([&] { return fs::exists(answersPath()); }));
    workflow_->setCurrentUIAction(UIAction::kQuitRequested);
    ASSERT_TRUE(stepUntil([&] { return answers().find("-> 2") != std::string::npos; }));
    workflow_->setCurrentUIAction(confirm ? UIAction::kQuitConfirmed : UIAction::kQuitDeclined);
    const uint32_t end = confirm ? 0x1D00 : 0x1702;
    ASSERT_TRUE(stepUntil([&] {
      const uint32_t state = code(workflow_->stateCode());
      return state == end || state == 0x1C00 || state == 0x1801;
    }));
    if (confirm) {
      EXPECT_EQ(workflow_->stateCode(), WorkflowState::kFinal);
      EXPECT_NE(answers().find("-> 4"), std::string::npos);
    } else {
      EXPECT_NE(answers().find("-> 3"), std::string::npos);
      EXPECT_TRUE(fs::exists(target_.path() + "/Tarn/Skyloom.app/Skyloom"));
    }
    workflow_->setCurrentUIAction(UIAction::kNone);
  }
}

// The library paused at a retryable error: a stop (the process's teardown) cancels it and returns,
// instead of waiting for an answer that never comes.
TEST_F(DesktopAppWalkTest, StopWhilePausedAtAnErrorEndsTheInstallThread) {
  serve("retry:207");
  workflow_->setStateCode(WorkflowState::kApplicationsDocument);
  ASSERT_TRUE(
      stepUntil([&] { return workflow_->stateCode() == WorkflowState::kDesktopAppInstall; }));
  ASSERT_TRUE(stepUntil([&] { return answers().find("-> 2") != std::string::npos; }));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    workflow_->StopWorkflow();
    stopped = true;
  });
  const bool ended = waitUntil([&] { return stopped.load(); });
  if (!ended)
    workflow_->setUIFlags(UIFlag::kResume);  // frees the thread, so that the test can fail
  stopper.join();
  EXPECT_TRUE(ended);
  EXPECT_NE(answers().find("-> 4"), std::string::npos);
}

TEST_F(DesktopAppWalkTest, LibraryFailureEndsAtItsAlert) {
  serve("result:45");
  EXPECT_EQ(walk(), 0x1C00u);
  EXPECT_EQ(workflow_->lastError(), 45);
  EXPECT_EQ(view_.last("showErrorAlert").args.at(2), "P45");
}

}  // namespace
