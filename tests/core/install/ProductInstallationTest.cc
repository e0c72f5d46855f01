#include <gtest/gtest.h>

#include "core/install/ProductInstallation.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/install/support/ProductRig.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::ProductRig;
using wendtest::ReportingApplets;
using wendtest::waitUntil;

constexpr int kTarnLockId = 0x012DFD5E;

class ProductInstallationTest : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&log_); }
  void TearDown() override { setApplicationLogger(nullptr); }

  // Runs 0x1901 and waits until the applet workflow was started (or refused).
  void start() {
    rig_.workflow->setStateCode(0x1901);
    rig_.workflow->runStep();
    ASSERT_EQ(rig_.workflow->stateCode(), 0x1A05u);
    ASSERT_TRUE(waitUntil([&] {
      return log_.has(pando::kLogInfo, "Start LoomIM workflow returned: " +
                                           std::to_string(rig_.applets.startResult));
    }));
  }
  std::vector<std::string> shownProgress() const {
    std::vector<std::string> shown;
    for (const auto& call : rig_.view.calls()) {
      if (call.name == "updateProductProgress") shown.push_back(call.args[0]);
    }
    return shown;
  }
  bool tarnLockHeld() const {
    return pando::SharedSemaphore::isSharedSemaphoreHeld(kTarnLockId, 1, 2, rig_.key.path.c_str(),
                                                         0);
  }

  wendtest::CapturingLogger log_;
  ProductRig rig_;
};

TEST_F(ProductInstallationTest, StartRecordCarriesTheRunsTexts) {
  rig_.config.set("sapCode", "TEST");
  rig_.proxy.set({"proxy-user", "", false});
  start();
  const auto started = rig_.applets.started();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started[0][0].find("<sapCode>TEST</sapCode>"), std::string::npos);
  EXPECT_EQ(started[0][2], rig_.folder.path());
  EXPECT_EQ(started[0][3], "helper-pipe-1");
  EXPECT_EQ(started[0][4], "proxy-user");
  EXPECT_EQ(started[0][5], "(null)");  // no password: none is passed
  EXPECT_EQ(started[0][6], "fr_FR");
}

TEST_F(ProductInstallationTest, ProgressIsScaledRisesOnlyAndRestartsAfterAnError) {
  start();
  // Each report with what the view shows after it.
  for (float percent : {0.0f, 50.0f, 40.0f, 99.5f, 100.0f}) {
    rig_.applets.report(ReportingApplets::progress(percent));
  }
  EXPECT_EQ(shownProgress(), (std::vector<std::string>{"2", "51", "99"}));
  EXPECT_TRUE(log_.has(pando::kLogDebug,
                       "Got incorrect progress value from apps panel. Ignoring. Current progress : "
                       "50.000000, received progress : 40.000000"));

  AppsPanelProgress failure = ReportingApplets::error(113);
  failure.isErrorResumable = true;
  rig_.applets.report(failure);
  EXPECT_EQ(rig_.view.last("showErrorAlert").args[2], "C113");
  EXPECT_EQ(rig_.workflow->stateBlock().uiAction, 8);
  rig_.applets.report(ReportingApplets::progress(10));
  EXPECT_EQ(shownProgress().back(), "11");
  EXPECT_EQ(rig_.workflow->stateCode(), 0x1A05u);
}

TEST_F(ProductInstallationTest, ReportsOutsideTheInstallingStateAreIgnoredEvenCompletion) {
  start();
  rig_.workflow->setStateCode(0x1201);
  rig_.applets.report(ReportingApplets::progress(30));
  AppsPanelProgress done;
  done.type = kAppsPanelDone;
  rig_.applets.report(done);
  rig_.applets.report(ReportingApplets::error(118));
  EXPECT_EQ(rig_.workflow->stateCode(), 0x1201u);
  EXPECT_TRUE(shownProgress().empty());
  EXPECT_EQ(rig_.view.count("showErrorAlert"), 0);

  rig_.workflow->setStateCode(0x1A05);
  rig_.applets.report(done);
  EXPECT_EQ(rig_.workflow->stateCode(), 0x1B01u);
}

TEST_F(ProductInstallationTest, CancelledByTheAppletHostCancelsAndLaunches) {
  rig_.proxy.set({"proxy-user", "secret", false});
  start();
  rig_.applets.report(ReportingApplets::error(205));
  EXPECT_EQ(rig_.applets.actions(), (std::vector<std::string>{"cancel"}));
  EXPECT_EQ(rig_.workflow->stateCode(), 0x1B01u);
  EXPECT_EQ(rig_.view.count("showErrorAlert"), 0);
  rig_.workflow->runStep();
  EXPECT_EQ(rig_.launches.launches().size(), 1u);
  EXPECT_EQ(rig_.workflow->stateCode(), 0x1D00u);
}

TEST_F(ProductInstallationTest, FailedAppletStartRaisesErrorOne) {
  rig_.applets.startResult = 1;
  start();
  ASSERT_TRUE(waitUntil([&] { return rig_.workflow->lastError() == 1; }));
  EXPECT_EQ(rig_.view.last("showErrorAlert").args[2], "P1");
  EXPECT_EQ(rig_.view.last("showErrorAlert").args[1], "0");
  // Reports of a workflow that never started reach nobody.
  rig_.products->joinProductInstallThread();
  rig_.applets.report(ReportingApplets::progress(30));
  EXPECT_TRUE(shownProgress().empty());
}

TEST_F(ProductInstallationTest, LocksPassFromTheWorkflowToTheInstallationAndAreReleasedOnce) {
  rig_.workflow->setStateCode(0x101);
  rig_.workflow->runStep();
  ASSERT_EQ(rig_.workflow->stateCode(), 0x201u);
  ASSERT_TRUE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, rig_.key.path));
  start();
  rig_.products->joinProductInstallThread();
  EXPECT_FALSE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, rig_.key.path));
  EXPECT_TRUE(tarnLockHeld());

  rig_.workflow->releaseLocks();
  rig_.installLock->release();
  EXPECT_FALSE(tarnLockHeld());
  // Somebody else takes it now; a second release must not give their lock away.
  pando::SharedSemaphore other(kTarnLockId, 1, 2, rig_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  rig_.workflow->releaseLocks();
  rig_.installLock->release();
  EXPECT_TRUE(tarnLockHeld());
}

TEST_F(ProductInstallationTest, TarnLockHeldElsewhereIsLoggedAndTheInstallGoesOn) {
  pando::SharedSemaphore other(kTarnLockId, 1, 2, rig_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  start();
  EXPECT_TRUE(log_.has(pando::kLogError, "Failed to Acquire tarn installation lock."));
  EXPECT_EQ(rig_.applets.started().size(), 1u);
}

}  // namespace
