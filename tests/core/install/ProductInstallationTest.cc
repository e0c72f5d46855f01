#include <gtest/gtest.h>

#include "core/config/ConfigXml.h"
#include "core/install/ProductInstallation.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowBlocks.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/install/support/ProductRig.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::ReportingApplets;
using Texts = std::vector<std::string>;

class ProductInstallationTest : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&log_); }
  void TearDown() override { setApplicationLogger(nullptr); }

  // Runs StartProductInstall and waits until the applet workflow's start has returned.
  void startProducts() {
    rig_.workflow->setStateCode(0x1901);
    rig_.workflow->runStep();
    ASSERT_EQ(rig_.workflow->stateCode(), code(WorkflowState::kProductInstall));
    const std::string returned =
        "Start LoomIM workflow returned: " + std::to_string(rig_.applets.startResult);
    ASSERT_TRUE(wendtest::waitUntil([&] { return log_.has(pando::kLogInfo, returned); }));
  }
  Texts shown() const {
    Texts values;
    for (const auto& call : rig_.view.calls()) {
      if (call.name == "updateProductProgress") values.push_back(call.args[0]);
    }
    return values;
  }
  bool tarnLockHeld() const {
    return pando::SharedSemaphore::isSharedSemaphoreHeld(0x012DFD5E, 1, 2, rig_.key.path.c_str(),
                                                         0);
  }

  wendtest::CapturingLogger log_;
  wendtest::ProductRig rig_;
};

TEST_F(ProductInstallationTest, ProgressIsScaledRisesOnlyAndRestartsAfterAnError) {
  rig_.proxy.set({"proxy-user", "", false});
  startProducts();
  // No password: none is passed.
  EXPECT_EQ(rig_.applets.started().at(0),
            (Texts{ConfigMapToXml(rig_.config), rig_.folder.path(), "helper-pipe-1", "proxy-user",
                   "(null)", "fr_FR"}));
  for (float percent : {0.0f, 50.0f, 40.0f, 99.5f, 100.0f}) {
    rig_.applets.report(ReportingApplets::progress(percent));
  }
  EXPECT_EQ(shown(), (Texts{"2", "51", "99"}));
  rig_.applets.report(ReportingApplets::error(113));
  EXPECT_EQ(rig_.view.last("showErrorAlert").args[2], "C113");
  rig_.applets.report(ReportingApplets::progress(10));
  EXPECT_EQ(shown().back(), "11");
}

TEST_F(ProductInstallationTest, ReportsOutsideTheInstallingStateAreIgnoredEvenCompletion) {
  startProducts();
  rig_.workflow->setStateCode(0x1201);
  for (const AppsPanelProgress& record :
       {ReportingApplets::progress(30), ReportingApplets::error(118),
        AppsPanelProgress{0, kAppsPanelDone}}) {
    rig_.applets.report(record);
  }
  EXPECT_EQ(rig_.workflow->stateCode(), code(WorkflowState::kMainScreen));
  EXPECT_TRUE(shown().empty());
  EXPECT_EQ(rig_.view.count("showErrorAlert"), 0);
}

TEST_F(ProductInstallationTest, CancelledByTheAppletHostCancelsAndLaunches) {
  startProducts();
  rig_.applets.report(ReportingApplets::error(205));
  EXPECT_EQ(rig_.applets.actions(), Texts{"cancel"});
  EXPECT_EQ(rig_.workflow->stateCode(), code(WorkflowState::kLaunch));
  rig_.workflow->runStep();
  EXPECT_EQ(rig_.launches.all().size(), 1u);
  EXPECT_EQ(rig_.view.count("showErrorAlert"), 0);
}

TEST_F(ProductInstallationTest, FailedAppletStartRaisesErrorOneAndReachesNobody) {
  rig_.applets.startResult = 1;
  startProducts();
  EXPECT_EQ(rig_.workflow->lastError(), kStatusError);
  EXPECT_EQ(rig_.view.last("showErrorAlert").args[2], "P1");
  rig_.applets.report(ReportingApplets::progress(30));
  EXPECT_TRUE(shown().empty());
}

TEST_F(ProductInstallationTest, LocksPassToTheInstallationAndAreReleasedOnce) {
  rig_.workflow->setStateCode(0x101);
  rig_.workflow->runStep();
  startProducts();
  rig_.products->joinProductInstallThread();
  EXPECT_FALSE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, rig_.key.path));
  EXPECT_TRUE(tarnLockHeld());
  rig_.installLock->release();
  EXPECT_FALSE(tarnLockHeld());
  // Somebody else takes it now; a second release must not give their lock away.
  pando::SharedSemaphore other(0x012DFD5E, 1, 2, rig_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  rig_.workflow->releaseLocks();
  rig_.installLock->release();
  EXPECT_TRUE(tarnLockHeld());
}

TEST_F(ProductInstallationTest, TarnLockHeldElsewhereIsLoggedAndTheInstallGoesOn) {
  pando::SharedSemaphore other(0x012DFD5E, 1, 2, rig_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  startProducts();
  EXPECT_TRUE(log_.has(pando::kLogError, "Failed to Acquire tarn installation lock."));
  EXPECT_EQ(rig_.applets.started().size(), 1u);
}

// UI action 7 checks the folder the user retries with on the system's volumes: a file is no
// installation folder, a fresh temporary folder is.
TEST_F(ProductInstallationTest, RetriedLocationIsCheckedOnTheSystem) {
  wendtest::writeFile(rig_.folder / "file", "");
  const struct {
    std::string location;
    Texts view;
    Texts applet;
  } rows[] = {
      {rig_.folder / "file", {"showPathErrorAlert"}, {}},
      {rig_.folder.path(), {"updateCancelButtonState"}, {"retry"}},
  };
  for (const auto& row : rows) {
    rig_.view.clear();
    rig_.workflow->setStateCode(0x1A05);
    rig_.workflow->setInstallLocation(row.location);
    rig_.workflow->setCurrentUIAction(7);
    rig_.workflow->runStep();
    EXPECT_EQ(rig_.view.names(), row.view) << row.location;
    EXPECT_EQ(rig_.applets.actions(), row.applet) << row.location;
    if (row.applet.empty()) {
      EXPECT_EQ(rig_.view.last("showPathErrorAlert").args,
                (Texts{"InstallLocationTitleGenericErr", "InstallLocationGenericErr", row.location,
                       "true", ""}));
    }
  }
  EXPECT_EQ(rig_.products->validateInstallLocation(""), "");
}

}  // namespace
