// The silent mediator across two processes: this test is the user's process, its elevated copy
// this executable again (support/SilentCopy.cc), started through the fake elevation tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/workflow/WorkflowBlocks.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/ipc/MessageGateway.h"
#include "tests/mediation/view/ViewRig.h"
#include "tests/mediation/view/support/SilentAlert.h"

namespace wendtest {
namespace {

class SilentMediatorTest : public ViewTest {
 protected:
  void TearDown() override {
    // The product keeps its channel's FIFOs; a test run leaves none behind.
    std::string pipeName;
    if (auto* gateway = dynamic_cast<mediation::MessageGateway*>(
            ApplicationContext::GetInstance()->messageGateway.get())) {
      gateway->sendPacket(4, "");
      pipeName = gateway->pipeName();
    }
    ViewTest::TearDown();
    for (const char* end : {"_IN", "_OUT"}) {
      if (!pipeName.empty()) unlink(("/tmp/" + pipeName + end).c_str());
    }
  }
  bool received(const std::string& name, std::string& data) const {
    for (const auto& [sentName, sentData] : recorder().sent()) {
      if (sentName == name) {
        data = sentData;
        return true;
      }
    }
    return false;
  }

  ScopedEnv consoleUser_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  ScopedEnv tool_{"WEND_TOOL_ELEVATION", WEND_FAKE_PKEXEC};
  ScopedEnv copy_{"VIEW_TEST_SILENT_COPY", root_ / "Resources"};
};

TEST_F(SilentMediatorTest, CommandsReachTheUsersPageAndItsMessagesTheCopysDispatcher) {
  ApplicationContext::SetPartsFactory(
      mediation::withMediation(std::make_unique<ViewTestParts>(root_ / "Resources", browser_)));
  arguments_ = {"Install"};
  argv_ = {arguments_[0].data()};
  ApplicationContext* user = ApplicationContext::GetInstance();
  ASSERT_TRUE(user->Initialize(1, argv_.data()));
  user->isAdmin = false;
  ASSERT_TRUE(user->InitMessageGateway(1, argv_.data()));

  std::string alert;
  ASSERT_TRUE(waitUntil([&] { return received("showErrorAlert", alert); }));
  raiseSilentAlert(recorder());
  EXPECT_EQ(alert, recorder().sent().back().second);

  // A page message for the copy runs its dispatcher: its spinner comes back here, and the
  // close override it sets arrives with the copy's state block.
  user->messageGateway->sendMessageToOtherViewMediator("welcomeSocialSignInButtonClick", "prov",
                                                       true);
  user->messageGateway->sendMessageToOtherViewMediator("overrideCrossButtonState", "true", true);
  std::string spinner;
  EXPECT_TRUE(waitUntil([&] { return received("showSpinnerScreen", spinner); }));
  EXPECT_TRUE(waitUntil([&] { return workflow().stateBlock().closeOverride == 1; }));
  EXPECT_EQ(workflow().stateBlock().stateCode, code(WorkflowState::kSignIn));
}

}  // namespace
}  // namespace wendtest
