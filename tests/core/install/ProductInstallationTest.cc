#include <gtest/gtest.h>

#include "core/config/ConfigXml.h"
#include "core/install/ProductInstallation.h"
#include "core/install/TarnInstallationLock.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/install/support/FakeInstallWorkflow.h"
#include "tests/core/install/support/ReportingApplets.h"
#include "tests/core/workflow/support/RecordingView.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::ReportingApplets;
using Texts = std::vector<std::string>;

class NoProfile final : public ISignInProfile {
 public:
  void setEnvironment(const std::string&) override {}
};

// The product installation against a fake workflow and a reporting applet host.
class ProductInstallationTest : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&log_); }
  void TearDown() override {
    products_->joinProductInstallThread();
    setApplicationLogger(nullptr);
  }

  // Starts the product-install thread as its step does, and waits until the applet workflow's
  // start has returned.
  void startProducts() {
    workflow_.setStateCode(WorkflowState::kProductInstall);
    ASSERT_TRUE(products_->startProductInstallWorkflow(workflow_));
    const std::string returned =
        "Start LoomIM workflow returned: " + std::to_string(applets_.startResult);
    ASSERT_TRUE(wendtest::waitUntil([&] { return log_.has(pando::kLogInfo, returned); }));
  }
  Texts shown() const {
    Texts values;
    for (const auto& call : view_.calls()) {
      if (call.name == "updateProductProgress") values.push_back(call.args[0]);
    }
    return values;
  }
  bool tarnLockHeld() const {
    return pando::SharedSemaphore::isSharedSemaphoreHeld(kTarnInstallationLockId, 1, 2,
                                                         workflow_.key.path.c_str(), 0);
  }

  wendtest::CapturingLogger log_;
  wendtest::FakeInstallWorkflow workflow_;
  wendtest::TemporaryFolder folder_;
  ConfigStore config_;
  SharedProxyCredentials proxy_;
  wendtest::RecordingView view_;
  NoProfile profile_;
  ReportingApplets applets_;
  std::shared_ptr<TarnInstallationLock> installLock_ =
      std::make_shared<TarnInstallationLock>(workflow_.key.path);
  std::unique_ptr<ProductInstallation> products_ =
      std::make_unique<ProductInstallation>(ProductInstallInputs{
          applets_, view_, config_, profile_, proxy_, [this] { return folder_.path(); },
          [] { return std::string("helper-pipe-1"); }, "fr_FR", installLock_});
};

TEST_F(ProductInstallationTest, ProgressIsScaledRisesOnlyAndRestartsAfterAnError) {
  proxy_.set({"proxy-user", "", false});
  startProducts();
  // No password: none is passed.
  EXPECT_EQ(applets_.started().at(0), (Texts{ConfigMapToXml(config_), folder_.path(),
                                             "helper-pipe-1", "proxy-user", "(null)", "fr_FR"}));
  for (float percent : {0.0f, 50.0f, 40.0f, 99.5f, 100.0f}) {
    applets_.report(ReportingApplets::progress(percent));
  }
  EXPECT_EQ(shown(), (Texts{"2", "51", "99"}));
  applets_.report(ReportingApplets::error(113));
  EXPECT_EQ(workflow_.productErrors(), std::vector<int>{113});
  applets_.report(ReportingApplets::progress(10));
  EXPECT_EQ(shown().back(), "11");
}

TEST_F(ProductInstallationTest, ReportsOutsideTheInstallingStateAreIgnoredEvenCompletion) {
  startProducts();
  workflow_.setStateCode(WorkflowState::kMainScreen);
  for (const AppsPanelProgress& record :
       {ReportingApplets::progress(30), ReportingApplets::error(118),
        AppsPanelProgress{0, kAppsPanelDone}}) {
    applets_.report(record);
  }
  EXPECT_EQ(workflow_.stateCode(), WorkflowState::kMainScreen);
  EXPECT_TRUE(shown().empty());
  EXPECT_TRUE(workflow_.productErrors().empty());
}

TEST_F(ProductInstallationTest, CompletionOrACancelByTheAppletHostLaunches) {
  startProducts();
  applets_.report(ReportingApplets::error(kStatusDownloadInvalidFile));
  EXPECT_EQ(workflow_.productActions(), Texts{"cancel"});
  EXPECT_EQ(workflow_.stateCode(), WorkflowState::kLaunch);
  workflow_.setStateCode(WorkflowState::kProductInstall);
  applets_.report(AppsPanelProgress{0, kAppsPanelDone});
  EXPECT_EQ(workflow_.stateCode(), WorkflowState::kLaunch);
  EXPECT_EQ(workflow_.productActions(), Texts{"cancel"});
  EXPECT_TRUE(workflow_.productErrors().empty());
}

TEST_F(ProductInstallationTest, FailedAppletStartRaisesErrorOneAndReachesNobody) {
  applets_.startResult = 1;
  startProducts();
  EXPECT_EQ(workflow_.lastError(), kStatusError);
  EXPECT_EQ(workflow_.uiAction(), UIAction::kBlocked);
  applets_.report(ReportingApplets::progress(30));
  EXPECT_TRUE(shown().empty());
}

TEST_F(ProductInstallationTest, LocksPassToTheInstallationAndAreReleasedOnce) {
  ASSERT_FALSE(workflow_.locks.acquire());
  startProducts();
  products_->joinProductInstallThread();
  EXPECT_FALSE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, workflow_.key.path));
  EXPECT_TRUE(tarnLockHeld());
  installLock_->release();
  EXPECT_FALSE(tarnLockHeld());
  // Somebody else takes it now; a second release must not give their lock away.
  pando::SharedSemaphore other(kTarnInstallationLockId, 1, 2, workflow_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  workflow_.releaseLocks();
  installLock_->release();
  EXPECT_TRUE(tarnLockHeld());
}

TEST_F(ProductInstallationTest, TarnLockHeldElsewhereIsLoggedAndTheInstallGoesOn) {
  pando::SharedSemaphore other(kTarnInstallationLockId, 1, 2, workflow_.key.path.c_str(), 0);
  ASSERT_TRUE(other.tryAcquire());
  startProducts();
  EXPECT_TRUE(log_.has(pando::kLogError, "Failed to Acquire tarn installation lock."));
  EXPECT_EQ(applets_.started().size(), 1u);
}

// The folder the user retries with is checked on the system's volumes: a file is no installation
// folder, a fresh temporary folder is, and no location is nothing to check.
TEST_F(ProductInstallationTest, LocationsAreCheckedOnTheSystem) {
  wendtest::writeFile(folder_ / "file", "");
  EXPECT_NE(products_->validateInstallLocation(folder_ / "file"), "");
  EXPECT_EQ(products_->validateInstallLocation(folder_.path()), "");
  EXPECT_EQ(products_->validateInstallLocation(""), "");
}

}  // namespace
