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

class DesktopAppFaultTest : public DesktopAppWalk {
 protected:
  void SetUp() override {
    // Small pieces reach the disk as they arrive: a package on its way shows in the work folder.
    manager_.engine.pieceSize = 4096;
    DesktopAppWalk::SetUp();
  }

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

  // The library's package is on its way: the manager has set up its file, which is named so
  // until the download completes.
  bool packageArriving() const {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(root_->path() + "/tmp", error)) {
      if (entry.path().filename() == "Pim.zip.quarrydownload" && entry.is_regular_file(error) &&
          entry.file_size(error) > 0) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(DesktopAppFaultTest, NetworkDownAtTheApplicationsQueryAlertsThenTheRetryInstalls) {
  {
    NetworkCut cut;
    workflow_->setStateCode(0x1302);
    ASSERT_TRUE(stepUntilAlert());
    EXPECT_EQ(workflow_->stateCode(), 0x1302u);
    expectRetryableAlert(kServerUnresponsive);
  }
  workflow_->setCurrentUIAction(kRetry);
  EXPECT_EQ(finish(), kInstalled) << answers();
  EXPECT_TRUE(applicationInstalled());
}

// The network goes while the library's package arrives. The retry runs the step in a work folder
// made anew: nothing the failed run left behind is in it.
TEST_F(DesktopAppFaultTest, NetworkDownMidPackageAlertsThenTheRetryInstallsFromAFreshWorkFolder) {
  serve("success", "/packages/slowpim/");
  workflow_->setStateCode(0x1302);
  ASSERT_TRUE(stepUntil([&] { return workflow_->stateCode() == 0x1402; }));
  struct stat failed {};
  {
    bool alerted = false;
    std::thread stepper([&] { alerted = stepUntilAlert(); });
    EXPECT_TRUE(waitUntil([&] { return packageArriving(); }));
    NetworkCut cut;
    stepper.join();
    ASSERT_TRUE(alerted);
    EXPECT_EQ(workflow_->stateCode(), 0x1402u);
    expectRetryableAlert(kServerUnresponsive);
    ASSERT_EQ(::stat(workFolder().c_str(), &failed), 0);
    writeFile(workFolder() + "/left-by-the-failed-run", "stale");
  }
  // Held open, the failed folder keeps its inode: a new folder cannot be given the same one.
  const int held = ::open(workFolder().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(held, 0);
  workflow_->setCurrentUIAction(kRetry);
  EXPECT_EQ(finish(), kInstalled) << answers();
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

}  // namespace
