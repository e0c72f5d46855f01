#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/core/install/desktop/support/DesktopAppWalk.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestServer.h"

namespace {

namespace fs = std::filesystem;
using namespace wendtest;

// Status codes the alerts show here, as the installer's table numbers them.
constexpr int kServerUnresponsive = 207;
constexpr int kProxyAuthenticationRequired = 212;

class DesktopAppFaultTest : public DesktopAppWalk {
 protected:
  // The network is down for the object's lifetime; it comes back even when the test fails.
  struct NetworkCut {
    NetworkCut() { EXPECT_TRUE(stopService()); }
    ~NetworkCut() { EXPECT_TRUE(restartService()); }
  };

  // The alert of `code` is shown, with retry offered.
  void expectRetryableAlert(int code) {
    const ViewCall alert = view_.last("showErrorAlert");
    ASSERT_EQ(alert.args.size(), 7u) << "no alert";
    EXPECT_EQ(alert.args.at(2), "P" + std::to_string(code));
    EXPECT_EQ(alert.args.at(1), "1") << "retry not offered";
    EXPECT_EQ(workflow_->lastError(), code);
  }

  // The library's package is on its way: the manager (in the machine's temp folder) has set up
  // its file, which bears this name until the download completes.
  bool packageArriving() const {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(root_->path() + "/tmp", error)) {
      if (entry.path().filename() == "Pim.zip.quarrydownload") return true;
    }
    return false;
  }
};

TEST_F(DesktopAppFaultTest, NetworkDownAtTheApplicationsQueryAlertsThenTheRetryInstalls) {
  {
    NetworkCut cut;
    workflow_->setStateCode(WorkflowState::kApplicationsDocument);
    ASSERT_TRUE(stepUntilAlert());
    EXPECT_EQ(workflow_->stateCode(), WorkflowState::kApplicationsDocument);
    expectRetryableAlert(kServerUnresponsive);
  }
  workflow_->setCurrentUIAction(UIAction::kRetry);
  EXPECT_EQ(finish(), WorkflowState::kDesktopAppInstalled) << answers();
  EXPECT_TRUE(applicationInstalled());
}

// The network goes while the library's package arrives. The retry runs the step in a work folder
// made anew: nothing the failed run left behind is in it.
TEST_F(DesktopAppFaultTest, NetworkDownMidPackageAlertsThenTheRetryInstallsFromAFreshWorkFolder) {
  serve("success", "/packages/slowpim/");
  workflow_->setStateCode(WorkflowState::kApplicationsDocument);
  ASSERT_TRUE(
      stepUntil([&] { return workflow_->stateCode() == WorkflowState::kInstallerLibrary; }));
  struct stat failed {};
  {
    bool alerted = false;
    std::thread stepper([&] { alerted = stepUntilAlert(); });
    EXPECT_TRUE(waitUntil([&] { return packageArriving(); }));
    NetworkCut cut;
    stepper.join();
    ASSERT_TRUE(alerted);
    EXPECT_EQ(workflow_->stateCode(), WorkflowState::kInstallerLibrary);
    expectRetryableAlert(kServerUnresponsive);
    ASSERT_EQ(::stat(workFolder().c_str(), &failed), 0);
    writeFile(workFolder() + "/left-by-the-failed-run", "stale");
  }
  // Held open, the failed folder keeps its inode: a new folder cannot be given the same one.
  const int held = ::open(workFolder().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(held, 0);
  workflow_->setCurrentUIAction(UIAction::kRetry);
  EXPECT_EQ(finish(), WorkflowState::kDesktopAppInstalled) << answers();
  struct stat before {};
  EXPECT_EQ(::fstat(held, &before), 0);
  ::close(held);
  EXPECT_EQ(before.st_nlink, 0u) << "the failed work folder was kept";
  struct stat fresh {};
  ASSERT_EQ(::stat(workFolder().c_str(), &fresh), 0);
  EXPECT_NE(fresh.st_ino, failed.st_ino);
  EXPECT_FALSE(fs::exists(workFolder() + "/left-by-the-failed-run"));
  EXPECT_TRUE(applicationInstalled());
}

// Every request goes through a proxy that wants credentials. The user's answer to the prompt
// goes with the retried query and with everything after it.
TEST_F(DesktopAppFaultTest, ProxyPromptThenTheRetryCarriesTheUsersCredentials) {
  testserver::TestServerSettings settings;
  settings.root = service_->www();
  settings.proxyCredentials = "alice:s3cret";
  testserver::TestServer proxy(settings);
  ASSERT_TRUE(proxy.start());
  // The proxy answers for the service itself, the applications document included.
  proxy.addBody("/services/applications", readFile(service_->www() + "/services/applications.xml"));
  ScopedEnv through{"http_proxy", proxy.url("")};
  ScopedEnv direct{"no_proxy", std::nullopt};
  ScopedEnv directUpper{"NO_PROXY", std::nullopt};

  workflow_->setStateCode(WorkflowState::kApplicationsDocument);
  ASSERT_TRUE(stepUntilAlert());
  EXPECT_EQ(view_.count("showProxyAlert"), 1);
  EXPECT_EQ(view_.count("showErrorAlert"), 0);
  EXPECT_EQ(workflow_->lastError(), kProxyAuthenticationRequired);
  ASSERT_FALSE(proxy.requestsFor("/services/applications").empty());

  proxy_.set({"alice", "s3cret", false});
  workflow_->setCurrentUIAction(UIAction::kProxyLogin);
  EXPECT_EQ(finish(), WorkflowState::kDesktopAppInstalled) << answers();
  EXPECT_TRUE(applicationInstalled());
  // Each request may meet the challenge once before it answers; the last one answered.
  const std::string expected = "Basic YWxpY2U6czNjcmV0";  // alice:s3cret
  for (const char* path : {"/services/applications", "/packages/pim/Pim.zip"}) {
    const auto requests = proxy.requestsFor(path);
    ASSERT_FALSE(requests.empty()) << path << " did not come through the proxy";
    EXPECT_EQ(requests.back().header("Proxy-Authorization"), expected) << path;
  }
}

}  // namespace
