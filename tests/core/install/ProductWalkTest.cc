#include <gtest/gtest.h>

#include "core/workflow/WorkflowBlocks.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/install/support/ProductRig.h"
#include "tests/core/workflow/support/InMemoryLink.h"
#include "tests/support/WaitUntil.h"

namespace {

using wendtest::InMemoryLink;
using wendtest::ProductRig;
using wendtest::waitUntil;
using wendtest::WorkflowRig;

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
    if (silent.workflow->stateCode() == 0x1606) silent.workflow->setStateCode(0x1702);
    return user.quitRequested.load();
  }));
  user.workflow->StopWorkflow();
  silent.workflow->StopWorkflow();

  EXPECT_EQ(user.workflow->stateCode(), code(WorkflowState::kFinal));
  EXPECT_EQ(user.applets.started().size(), 1u);
  EXPECT_EQ(user.view.last("updateProductProgress").args, (std::vector<std::string>{"51"}));
  const auto launches = user.launches.all();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0][2], "--showwindow=false");
  EXPECT_EQ(user.helper->calls().back(), "reinit " + launches[0][3].substr(19));
  EXPECT_EQ(user.view.count("showErrorAlert"), 0);
  EXPECT_FALSE(
      pando::SharedSemaphore::isSharedSemaphoreHeld(0x012DFD5E, 1, 2, user.key.path.c_str(), 0));
  EXPECT_FALSE(pando::ProcessSemaphore::isProcessSemaphoreHeld(0x0232AEA8, user.key.path));
  const auto sent = link.statesSentBy(0);
  EXPECT_NE(std::find(sent.begin(), sent.end(), code(WorkflowState::kApplicationsDocument)),
            sent.end());
}

}  // namespace
