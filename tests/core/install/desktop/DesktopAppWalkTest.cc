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
  workflow_->setStateCode(0x1402);
  workflow_->runStep();
  EXPECT_EQ(workflow_->stateCode(), 0x1402u);
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
    workflow_->setStateCode(0x1302);
    ASSERT_TRUE(stepUntil([&] { return workflow_->stateCode() == 0x1606; }));
    ASSERT_TRUE(stepUntil([&] { return fs::exists(answersPath()); }));
    workflow_->setCurrentUIAction(4);
    ASSERT_TRUE(stepUntil([&] { return answers().find("-> 2") != std::string::npos; }));
    workflow_->setCurrentUIAction(confirm ? 5 : 6);
    const uint32_t end = confirm ? 0x1D00 : 0x1702;
    ASSERT_TRUE(stepUntil([&] {
      const uint32_t state = workflow_->stateCode();
      return state == end || state == 0x1C00 || state == 0x1801;
    }));
    if (confirm) {
      EXPECT_EQ(workflow_->stateCode(), 0x1D00u);
      EXPECT_NE(answers().find("-> 4"), std::string::npos);
    } else {
      EXPECT_NE(answers().find("-> 3"), std::string::npos);
      EXPECT_TRUE(fs::exists(target_.path() + "/Tarn/Skyloom.app/Skyloom"));
    }
    workflow_->setCurrentUIAction(0);
  }
}

// The library paused at a retryable error: a stop (the process's teardown) cancels it and returns,
// instead of waiting for an answer that never comes.
TEST_F(DesktopAppWalkTest, StopWhilePausedAtAnErrorEndsTheInstallThread) {
  serve("retry:207");
  workflow_->setStateCode(0x1302);
  ASSERT_TRUE(stepUntil([&] { return workflow_->stateCode() == 0x1606; }));
  ASSERT_TRUE(stepUntil([&] { return answers().find("-> 2") != std::string::npos; }));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    workflow_->StopWorkflow();
    stopped = true;
  });
  const bool ended = waitUntil([&] { return stopped.load(); });
  if (!ended) workflow_->setUIFlags(3);  // frees the thread, so that the test can fail
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
