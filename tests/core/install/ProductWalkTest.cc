#include <gtest/gtest.h>

#include "foundation/logging/LogCallback.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/install/support/ProductRig.h"
#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::InMemoryLink;
using wendtest::ProductRig;
using wendtest::ReportingApplets;
using wendtest::waitUntil;
using wendtest::WorkflowRig;
using Texts = std::vector<std::string>;

// The user's and the silent workflow, each on its own thread, linked in memory: the silent one
// installs the desktop application (scripted), the user's one the products through a reporting
// applet host, then launches the application and ends.
TEST(ProductWalk, LinkedWorkflowsInstallTheProductsAndLaunchOnce) {
  InMemoryLink link;
  ProductRig user(&link.end(0), WorkflowRole::kUser);
  WorkflowRig silent(WorkflowRole::kSilent, &link.end(1));
  link.attach(0, user.workflow.get(), &user.proxy);
  link.attach(1, silent.workflow.get(), &silent.proxy);
  user.applets.completes = true;
  user.view.answerAsPage();
  ASSERT_TRUE(silent.workflow->StartWorkflow());
  ASSERT_TRUE(user.workflow->StartWorkflow());
  ASSERT_TRUE(waitUntil([&] {
    user.view.deliverAnswers();
    // What the silent side's install thread does once the library has installed.
    if (silent.workflow->stateCode() == WorkflowState::kDesktopAppInstall)
      silent.workflow->setStateCode(WorkflowState::kDesktopAppInstalled);
    return user.quitRequested.load();
  }));
  user.workflow->StopWorkflow();
  silent.workflow->StopWorkflow();

  EXPECT_EQ(user.workflow->stateCode(), WorkflowState::kFinal);
  EXPECT_EQ(user.applets.started().size(), 1u);
  EXPECT_EQ(user.view.last("updateProductProgress").args, (std::vector<std::string>{"51"}));
  const auto launches = user.launches.all();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0][2], "--showwindow=false");
  EXPECT_EQ(user.helper->calls().back(), "reinit " + launches[0][3].substr(19));
  EXPECT_EQ(user.view.count("showErrorAlert"), 0);
  EXPECT_FALSE(pando::SharedSemaphore::isSharedSemaphoreHeld(kTarnInstallationLockId, 1, 2,
                                                             user.key.path.c_str(), 0));
  EXPECT_FALSE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, user.key.path));
  const auto sent = link.statesSentBy(0);
  EXPECT_NE(std::find(sent.begin(), sent.end(), code(WorkflowState::kApplicationsDocument)),
            sent.end());
}

// The product installation under a whole workflow of the user's process with administrator
// rights, stepped by the test: what the workflow does with the installation's reports and the
// user's answers.
class ProductStepWalk : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&log_); }
  void TearDown() override { setApplicationLogger(nullptr); }

  // Runs kStartProductInstall and waits until the applet workflow's start has returned.
  void startProducts() {
    rig_.workflow->setStateCode(WorkflowState::kStartProductInstall);
    rig_.workflow->runStep();
    ASSERT_EQ(rig_.workflow->stateCode(), WorkflowState::kProductInstall);
    const std::string returned =
        "Start LoomIM workflow returned: " + std::to_string(rig_.applets.startResult);
    ASSERT_TRUE(waitUntil([&] { return log_.has(pando::kLogInfo, returned); }));
  }

  wendtest::CapturingLogger log_;
  ProductRig rig_;
};

TEST_F(ProductStepWalk, CancelledByTheAppletHostCancelsAndLaunches) {
  startProducts();
  rig_.applets.report(ReportingApplets::error(205));
  EXPECT_EQ(rig_.applets.actions(), Texts{"cancel"});
  EXPECT_EQ(rig_.workflow->stateCode(), WorkflowState::kLaunch);
  rig_.workflow->runStep();
  EXPECT_EQ(rig_.launches.all().size(), 1u);
  EXPECT_EQ(rig_.view.count("showErrorAlert"), 0);
}

// UIAction::kLocationChosen checks the folder the user retries with on the system's volumes: a file
// is no installation folder, a fresh temporary folder is.
TEST_F(ProductStepWalk, RetriedLocationIsCheckedOnTheSystem) {
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
    rig_.workflow->setStateCode(WorkflowState::kProductInstall);
    rig_.workflow->setInstallLocation(row.location);
    rig_.workflow->setCurrentUIAction(UIAction::kLocationChosen);
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
