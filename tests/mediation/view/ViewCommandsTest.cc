// Every view command as the page and the analytics server see it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/mediation/view/ViewRig.h"

namespace wendtest {
namespace {

constexpr int kNoScreen = -1;

TEST_F(ViewTest, EachCommandSendsItsMessageScreenAndEvent) {
  startView();
  struct Row {
    std::function<void(ViewMediatorBase&)> call;
    const char* name;
    const char* data;
    int screenId;
    const char* event;
  } rows[] = {
      {[](auto& m) { m.showSpinnerScreen(); }, "showSpinnerScreen", "", kNoScreen, ""},
      {[](auto& m) { m.showWelcomeScreen("{\"u\":1}"); }, "showWelcomeScreen", "{\"u\":1}", 2,
       "lbs-welcome"},
      {[](auto& m) { m.showSurveyScreen(1); }, "showSurveyScreen",
       "{\"surveyQuestionsAlreadyFilled\":\"1\"}\n", 6, "lbs-survey"},
      {[](auto& m) { m.showPiiScreen(); }, "showPiiScreen", "", 8, "lbs-pii-notice"},
      {[](auto& m) { m.showMainScreen(); }, "showMainScreen", "", 9, "lbs-window-load"},
      {[](auto& m) { m.showErrorAlert("T", 0, "C", "P", "Ti", "L", true); }, "showErrorAlert",
       "{\"appendParamsAtEnd\":\"true\",\"errorCode\":\"C\",\"errorParam\":\"P\",\"errorTitle\":"
       "\"Ti\",\"errorType\":\"T\",\"moreInfoLink\":\"L\",\"showContinue\":\"false\","
       "\"showRetry\":\"false\"}\n",
       kNoScreen, ""},
      {[](auto& m) { m.showPathErrorAlert("A", "B", "/opt", false, "E"); }, "showPathErrorAlert",
       "{\"alertText\":\"B\",\"alertTitle\":\"A\",\"errorParam\":\"E\",\"incorrectLocation\":"
       "\"false\",\"installLocation\":\"/opt\",\"showAlertIcon\":\"true\"}\n",
       kNoScreen, ""},
      {[](auto& m) { m.showCompatibilityErrorAlert("as is"); }, "showCompatibilityErrorAlert",
       "as is", kNoScreen, ""},
      {[](auto& m) { m.showProxyAlert(); }, "showProxyAlert", "", kNoScreen, "lbs-proxy-mode"},
      {[](auto& m) { m.updateTarnProgress(37, false); }, "updateTarnProgress",
       "{\"isCancelEnabled\":\"false\",\"progress\":\"37\"}", kNoScreen, ""},
      {[](auto& m) { m.updateProductProgress(5); }, "updateProductProgress", "{\"progress\":\"5\"}",
       kNoScreen, ""},
      {[](auto& m) { m.updateTarnInstallWeightage("12"); }, "updateTarnInstallWeightage",
       "{\"tarnSize\":\"12\"}", kNoScreen, ""},
      {[](auto& m) { m.updateCancelButtonState(true); }, "updateCancelButtonState",
       "{\"enabled\":\"true\"}", kNoScreen, ""},
      {[](auto& m) { m.showQuitConfirmation(); }, "showQuitConfirmation", "", kNoScreen, ""},
      {[](auto& m) { m.showQuittingScreen(); }, "showQuittingScreen", "", kNoScreen, ""},
      {[](auto& m) { m.showLaunchingProductScreen(); }, "showLaunchingProductScreen", "", 10, ""},
      {[](auto& m) { m.showDefaultContent("http://x/?a=\"b\""); }, "showDefaultContent",
       "{\"errorURL\":\"http://x/?a=\\\"b\\\"\"}", kNoScreen, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    workflow().setScreenId(static_cast<ScreenId>(kNoScreen));
    const size_t before = recorder().sent().size();
    row.call(mediator());
    const auto sent = recorder().sent();
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(sent.back().first, row.name);
    EXPECT_EQ(sent.back().second, row.data);
    EXPECT_EQ(workflow().stateBlock().screenId, row.screenId);
    if (*row.event) {
      EXPECT_EQ(eventOf(row.event)["eventType"], row.event);
    }
  }
  EXPECT_EQ(eventOf("lbs-survey")["survey-common-questions-skipped"], "true");
  EXPECT_EQ(mediator().getLocalizedText("Select"), "");
}

TEST_F(ViewTest, AlertRetryModesAndSurveyCounts) {
  startView();
  struct Row {
    int retryMode;
    const char* retry;
    const char* cont;
  } rows[] = {{0, "false", "false"}, {1, "true", "false"}, {2, "false", "true"}};
  for (const Row& row : rows) {
    mediator().showErrorAlert("", row.retryMode, "", "", "", "", false);
    const std::string data = recorder().sent().back().second;
    EXPECT_NE(data.find(std::string("\"showRetry\":\"") + row.retry), std::string::npos) << data;
    EXPECT_NE(data.find(std::string("\"showContinue\":\"") + row.cont), std::string::npos) << data;
  }
  mediator().showSurveyScreen(3);
  EXPECT_EQ(recorder().sent().back().second, "{\"surveyQuestionsAlreadyFilled\":\"3\"}\n");
  EXPECT_EQ(eventOf("lbs-survey")["survey-common-questions-skipped"], "false");
}

}  // namespace
}  // namespace wendtest
