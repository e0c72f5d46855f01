// The silent mediator across two processes: this test is the user's process, its elevated copy
// this executable again (support/SilentCopy.cc), started through the fake elevation tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/workflow/WorkflowBlocks.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/ipc/MessageGateway.h"
#include "mediation/view/InstallLocationChoice.h"
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

  // The folder chosen here reaches the copy, which has no chooser of its own: its path alert,
  // with that folder, comes back here, and its state block with the workflow blocked by it.
  const InstallLocationChoice choice{"/opt/chosen", true, "0",
                                     R"({"alertTitle":"T","alertText":"X"})"};
  user->messageGateway->sendMessageToOtherViewMediator("locationChangeClicked",
                                                       packInstallLocationChoice(choice), true);
  std::string pathAlert;
  ASSERT_TRUE(waitUntil([&] { return received("showPathErrorAlert", pathAlert); }));
  EXPECT_NE(pathAlert.find(R"("installLocation":"/opt/chosen")"), std::string::npos) << pathAlert;
  EXPECT_TRUE(waitUntil([&] { return workflow().uiAction() == UIAction::kBlocked; }));
}

// The copy has no chooser: "Change location" reaches it with the folder the user's process chose,
// the check's answer there and the page's data. The copy takes it as the dispatcher takes a
// chooser's answer: the location, then the path alert (marked when the folder was refused) that
// goes to the user's window; "Continue" on it then asks the workflow to check and take that
// location (UIAction::kLocationChosen). A message that carries no choice changes nothing.
class SilentLocationTest : public ViewTest {
 protected:
  static std::string carried(const char* location, const char* fits, const char* error,
                             const char* pageData) {
    Json::Value data(Json::objectValue);
    data["installLocation"] = location;
    data["fits"] = fits;
    data["errorNumber"] = error;
    data["pageData"] = pageData;
    return Json::FastWriter().write(data);
  }
};

TEST_F(SilentLocationTest, TheCopyTakesTheFolderChosenInTheUsersProcess) {
  startView({}, true);
  constexpr char kPageData[] = R"({"alertTitle":"T","alertText":"X"})";
  struct Row {
    std::string data;
    const char* kept;
    const char* alert;  // the "showPathErrorAlert" data sent to the user's process; null: none
  } rows[] = {
      // Accepted, cancelled (the start folder comes back) and refused.
      {carried("/opt/new", "true", "0", kPageData), "/opt/new",
       R"({"alertText":"X","alertTitle":"T","errorParam":"","incorrectLocation":"false",)"
       R"("installLocation":"/opt/new","showAlertIcon":"true"})"},
      {carried("/opt/start", "true", "0", kPageData), "/opt/start",
       R"({"alertText":"X","alertTitle":"T","errorParam":"","incorrectLocation":"false",)"
       R"("installLocation":"/opt/start","showAlertIcon":"true"})"},
      {carried("/locked", "false", "6", "not json"), "/locked",
       R"({"alertText":"InstallLocationLockedPathErr","alertTitle":)"
       R"("InstallLocationTitleLockedPathErr","errorParam":"","incorrectLocation":"true",)"
       R"("installLocation":"/locked","showAlertIcon":"true"})"},
      // Accepted with page data that does not parse: the location is kept, the alert skipped.
      {carried("/opt/other", "true", "0", "{"), "/opt/other", nullptr},
      // No choice: the page's own data, or a check's answer that is neither true nor false.
      {kPageData, "/opt/start", nullptr},
      {carried("/opt/new", "yes", "0", kPageData), "/opt/start", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.data);
    workflow().setInstallLocation("/opt/start");
    workflow().setCurrentUIAction(UIAction::kNone);
    link_->forwarded.clear();

    mediator().onMessageFromView("locationChangeClicked", row.data);

    EXPECT_EQ(workflow().installLocation(), row.kept);
    if (!row.alert) {
      EXPECT_TRUE(link_->forwarded.lines().empty());
      EXPECT_EQ(workflow().uiAction(), UIAction::kNone);
      continue;
    }
    EXPECT_EQ(
        link_->forwarded.lines(),
        std::vector<std::string>{"showPathErrorAlert " + std::string(row.alert) + "\n native"});
    EXPECT_EQ(workflow().uiAction(), UIAction::kBlocked);
    mediator().onMessageFromView("locationRetryClicked", "");
    EXPECT_EQ(workflow().uiAction(), UIAction::kLocationChosen);
    EXPECT_EQ(workflow().installLocation(), row.kept);
  }
}

}  // namespace
}  // namespace wendtest
