#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/core/install/desktop/support/DesktopAppWalk.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestServer.h"

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

class DesktopAppWalkTest : public DesktopAppWalk {};

TEST_F(DesktopAppWalkTest, MissingLibraryIsDownloadedCheckedLoadedAndRun) {
  const int before = packageRequests();
  EXPECT_EQ(walk(), WorkflowState::kDesktopAppInstalled) << answers();
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
  EXPECT_EQ(walk(), WorkflowState::kDesktopAppInstalled) << answers();
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
  EXPECT_EQ(walk(), WorkflowState::kDesktopAppInstalled);
  EXPECT_GT(server.requestsFor("/packages/pim/Pim.zip").size(), 2u);  // the corrupt one again

  server.clearRules();
  server.addRule({"/packages/pim/Pim.zip", 1, 0, corrupt});
  workflow_->setStateCode(WorkflowState::kInstallerLibrary);
  workflow_->runStep();
  EXPECT_EQ(workflow_->stateCode(), WorkflowState::kInstallerLibrary);
  // Which manager code a corruption past repair gets is the manager's; the alert shows its map.
  EXPECT_GE(workflow_->lastError(), kStatusDownloadError);
  EXPECT_EQ(view_.last("showErrorAlert").args.at(2), "P" + std::to_string(workflow_->lastError()));
}

TEST_F(DesktopAppWalkTest, InstalledLibraryAtTheVersionIsCopiedNotDownloaded) {
  fs::copy_file(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib", installed());
  const int before = packageRequests();
  EXPECT_EQ(walk(), WorkflowState::kDesktopAppInstalled);
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
    const WorkflowState end = confirm ? WorkflowState::kFinal : WorkflowState::kDesktopAppInstalled;
    ASSERT_TRUE(stepUntil([&] {
      const WorkflowState state = workflow_->stateCode();
      return state == end || state == WorkflowState::kFailedFinal ||
             state == WorkflowState::kHelperHandshake;
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
  if (!ended) workflow_->setUIFlags(UIFlag::kResume);  // frees the thread, so that the test can fail
  stopper.join();
  EXPECT_TRUE(ended);
  EXPECT_NE(answers().find("-> 4"), std::string::npos);
}

TEST_F(DesktopAppWalkTest, LibraryFailureEndsAtItsAlert) {
  serve("result:45");
  EXPECT_EQ(walk(), WorkflowState::kFailedFinal);
  EXPECT_EQ(workflow_->lastError(), kStatusFileDeleteError);
  EXPECT_EQ(view_.last("showErrorAlert").args.at(2), "P45");
}

}  // namespace
