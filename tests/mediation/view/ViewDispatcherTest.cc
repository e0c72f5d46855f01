// The page's messages as the dispatcher turns them into effects on the real workflow and context.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/config/ConfigValues.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "tests/mediation/view/ViewRig.h"

namespace wendtest {
namespace {

constexpr uint32_t kStart = 0x100;
constexpr UIAction kNoAction = UIAction::kNone;

class ViewDispatcherTest : public ViewTest {
 protected:
  void reset() {
    workflow().setStateCode(static_cast<WorkflowState>(kStart));
    workflow().setCurrentUIAction(kNoAction);
    workflow().setQuitConfirmed(false);
    workflow().setCloseOverride(true);
    context().proxyCredentials.set({"old", "old-secret", true});
  }
  void dispatch(const std::string& name, const std::string& data) {
    mediator().processMessageFromView(name, data);
  }
};

TEST_F(ViewDispatcherTest, EachRowHasItsEffect) {
  startView({"--locale=en_US"});
  server_.addBody("/ans/v1/sms", "");
  const auto openedHas = [this](const std::string& address) {
    return [this, address] { EXPECT_NE(opened().find(address + "\n"), std::string::npos); };
  };
  const auto lastSent = [](const std::string& name) {
    return [name] { EXPECT_EQ(recorder().sent().back().first, name); };
  };
  struct Row {
    const char* name;
    const char* data;
    uint32_t state;     // kStart: unchanged
    UIAction uiAction;  // kNoAction: none set
    const char* event;
    std::function<void()> check;
  } rows[] = {
      {"carouselLoadComplete", "", kStart, kNoAction, "lbs-carousel-load-end", nullptr},
      {"overrideCrossButtonState", "true", kStart, kNoAction, "",
       [] { EXPECT_EQ(workflow().stateBlock().closeOverride, 1); }},
      {"overrideCrossButtonState", "TRUE", kStart, kNoAction, "",
       [] { EXPECT_EQ(workflow().stateBlock().closeOverride, 0); }},
      {"overrideCrossButtonState", "1", kStart, kNoAction, "",
       [] { EXPECT_EQ(workflow().stateBlock().closeOverride, 0); }},
      {"locationChangeClicked", R"({"alertTitle":"T","alertText":"X"})", kStart, UIAction::kBlocked,
       "", lastSent("showPathErrorAlert")},
      {"locationRetryClicked", "", kStart, UIAction::kLocationChosen, "", nullptr},
      {"openurl", "https://row.example/5", kStart, kNoAction, "",
       openedHas("https://row.example/5?mv=product&mv2=corvel")},
      {"openUrlInBrowser", R"({"url":"https://row.example/6"})", kStart, kNoAction,
       "open-url-in-browser", openedHas("https://row.example/6?mv=product&mv2=corvel")},
      {"searchMosaicInBrowser", R"({"searchQuery":"seven"})", kStart, kNoAction, "",
       openedHas(server_.url("/go/search_mosaic_panel?k=seven&sso_inbound=1&locale=en_US") +
                 "&x-product=SkyloomInstaller_v1_0&mv=product&mv2=corvel")},
      {"openFileURL", "row\\8", kStart, kNoAction, "",
       openedHas("file:///row/8?mv=product&mv2=corvel")},
      {"learnMoreClicked", R"({"url":"https://row.example/9"})", kStart, kNoAction,
       "lbs-carousel-button", openedHas("https://row.example/9?mv=product&mv2=corvel")},
      {"piiLearnMoreClicked", "", kStart, kNoAction, "lbs-pii-notice-learn-more", nullptr},
      {"sendSMS", R"({"phoneNumber":"11"})", kStart, kNoAction, "", lastSent("sendSMSResponse")},
      {"carouselCardDisplayed", R"({"index":2,"cardID":"c-1"})", kStart, kNoAction,
       "lbs-carousel-card-displayed", nullptr},
      {"carouselDotClicked", R"({"INDEX":"3","cardID":"c-2"})", kStart, kNoAction,
       "lbs-carousel-dots", nullptr},
      {"defaultContentShown", R"({"timeOut":true,"errorURL":"http://e/"})", kStart, kNoAction,
       "default-content-shown", nullptr},
      {"welcomeSignInButtonClick", "", code(WorkflowState::kSignIn), kNoAction,
       "lbs-welcome-signIn-clicked", nullptr},
      {"welcomeSignUpButtonClick", "", code(WorkflowState::kSignIn), kNoAction,
       "lbs-welcome-signUp-clicked", [] { EXPECT_TRUE(mediator().signUpRequested()); }},
      {"welcomeSocialSignInButtonClick", "prov-9", code(WorkflowState::kSignIn), kNoAction,
       "lbs-welcome-social-signIn-clicked",
       [] {
         EXPECT_EQ(mediator().socialProviderId(), "prov-9");
         EXPECT_EQ(recorder().sent().back().first, "showSpinnerScreen");
       }},
      {"surveyContinueButtonClicked", "", code(WorkflowState::kSurveyResults), kNoAction,
       "lbs-survey-continue", nullptr},
      {"testAppContinueButtonClicked", R"({"signInClicked":"true","environment":""})",
       code(WorkflowState::kSignIn), kNoAction, "",
       [] { EXPECT_EQ(GetEnvironment(context().config), "PROD"); }},
      {"testAppContinueButtonClicked", R"({"signInClicked":true,"environment":"STAGE"})",
       code(WorkflowState::kSignIn), kNoAction, "",
       [] { EXPECT_EQ(GetEnvironment(context().config), "STAGE"); }},
      {"testAppContinueButtonClicked", R"({"environment":"QE"})", code(WorkflowState::kMainScreen),
       kNoAction, "", [] { EXPECT_EQ(GetEnvironment(context().config), "STAGE"); }},
      {"piiContinueButtonClicked", "", code(WorkflowState::kPrivacyNoticeAccepted), kNoAction,
       "lbs-pii-notice-continue", nullptr},
      {"cancelButtonClicked", "", kStart, UIAction::kQuitRequested, "", nullptr},
      {"quitConfirmationYesClicked", "", kStart, UIAction::kQuitConfirmed, "",
       [] { EXPECT_EQ(workflow().stateBlock().quitConfirmed, 1); }},
      {"quitConfirmationNoClicked", "", kStart, UIAction::kQuitDeclined, "", nullptr},
      {"retryClicked", "", kStart, UIAction::kRetry, "", nullptr},
      {"proxyAlertLoginButtonClicked", R"({"userName":"u","password":"pw-7","rememberMe":true})",
       kStart, UIAction::kProxyLogin, "",
       [] {
         const ProxyCredentials proxy = context().proxyCredentials.get();
         EXPECT_EQ(proxy.userName, "u");
         EXPECT_EQ(proxy.password, "pw-7");
         EXPECT_TRUE(proxy.remember);
       }},
      {"proxyAlertLoginButtonClicked", R"({"userName":"u","password":"p","rememberMe":"True"})",
       kStart, UIAction::kProxyLogin, "",
       [] { EXPECT_FALSE(context().proxyCredentials.get().remember); }},
  };
  SetEnvironment(context().config, "PROD");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.data);
    reset();
    dispatch(row.name, row.data);
    EXPECT_EQ(code(workflow().stateCode()), row.state);
    EXPECT_EQ(workflow().stateBlock().uiAction, code(row.uiAction));
    if (row.check) row.check();
  }
  for (const Row& row : rows) {
    if (*row.event) {
      EXPECT_EQ(eventOf(row.event)["eventType"], row.event);
    }
  }
  EXPECT_EQ(eventOf("lbs-carousel-card-displayed")["lbs-carousel-screen-index"], "2");
  EXPECT_EQ(eventOf("lbs-carousel-dots")["lbs-carousel-screen-index"], "3");
  EXPECT_EQ(eventOf("lbs-carousel-dots")["lbs-carousel-screen-id"], "c-2");
  EXPECT_EQ(eventOf("default-content-shown")["isTimeOut"], "true");
  EXPECT_EQ(eventOf("default-content-shown")["errorURL"], "http://e/");
}

// Page data is untrusted: near-miss names and data that is no flat object change nothing.
TEST_F(ViewDispatcherTest, NearMissesAndBadDataChangeNothing) {
  startView();
  const std::pair<const char*, const char*> rows[] = {
      {"RetryClicked", ""},
      {"retryClicked ", ""},
      {"documentReady", ""},
      {"proxyAlertLoginButtonClicked", "not json"},
      {"proxyAlertLoginButtonClicked", R"(["u","p"])"},
      {"proxyAlertLoginButtonClicked", R"({"userName":{"a":1},"password":"p"})"},
      {"proxyAlertLoginButtonClicked", R"({"userName":"u","password":["p"]})"},
      {"testAppContinueButtonClicked", "\"true\""},
      {"testAppContinueButtonClicked", R"({"signInClicked":"true","environment":[1]})"},
  };
  for (const auto& [name, data] : rows) {
    SCOPED_TRACE(std::string(name) + " " + data);
    reset();
    const WorkflowStateBlock before = workflow().stateBlock();
    dispatch(name, data);
    const WorkflowStateBlock after = workflow().stateBlock();
    EXPECT_EQ(after.stateCode, before.stateCode);
    EXPECT_EQ(after.uiAction, before.uiAction);
    EXPECT_EQ(context().proxyCredentials.get().userName, "old");
  }
}

TEST_F(ViewDispatcherTest, TheProxyPasswordStaysOutOfTheLog) {
  startView();
  dispatch("proxyAlertLoginButtonClicked",
           R"({"userName":"u","password":"pw-secret-42","rememberMe":false})");
  // Whatever the name says: the data holds a password.
  const std::pair<const char*, const char*> hidden[] = {
      {"ProxyAlertLoginButtonClicked", R"({"userName":"u","password":"pw-secret-43"})"},
      {"proxyAlertLoginButtonClicked ", R"({"userName":"u","password":"pw-secret-44"})"},
      {"retryClicked", R"({"PassWord":"pw-secret-45"})"},
      {"retryClicked", R"({"outer":{"pass\u0077ord":"pw-secret-46"}})"},
      {"retryClicked", R"({"password":"pw-secret-47")"},  // no closing brace
  };
  for (const auto& [name, data] : hidden) dispatch(name, data);
  dispatch("retryClicked", "visible-data");
  ApplicationContext::Destroy();
  const std::string logs = allLogs();
  for (const char* secret : {"pw-secret-42", "pw-secret-43", "pw-secret-44", "pw-secret-45",
                             "pw-secret-46", "pw-secret-47"}) {
    EXPECT_EQ(logs.find(secret), std::string::npos) << secret;
  }
  EXPECT_NE(logs.find("Processing message from view: proxyAlertLoginButtonClicked "
                      "data:<withheld>"),
            std::string::npos);
  EXPECT_NE(logs.find("Processing message from view: retryClicked data:visible-data"),
            std::string::npos);
}

// Only the environments the installer knows are kept; the page's text reaches the log with its
// control characters escaped, so it cannot forge a line.
TEST_F(ViewDispatcherTest, UnknownEnvironmentsAreNotKeptAndLogLinesStayWhole) {
  startView();
  SetEnvironment(context().config, "PROD");
  for (const char* environment : {"../../ETC", "PROD\r\nX: Y", "STAGE ", "", "QA3"}) {
    SCOPED_TRACE(environment);
    reset();
    Json::Value data(Json::objectValue);
    data["signInClicked"] = "true";
    data["environment"] = environment;
    dispatch("testAppContinueButtonClicked", Json::FastWriter().write(data));
    EXPECT_EQ(GetEnvironment(context().config), "PROD");
    EXPECT_EQ(workflow().stateCode(), WorkflowState::kSignIn);
  }
  dispatch("testAppContinueButtonClicked", R"({"signInClicked":"true","environment":"qa1"})");
  EXPECT_EQ(GetEnvironment(context().config), "QA1");
  dispatch("retry\nClicked", "a\r\nFAKE: line\x01");
  ApplicationContext::Destroy();
  const std::string logs = allLogs();
  EXPECT_EQ(logs.find("\nX: Y"), std::string::npos);
  EXPECT_EQ(logs.find("\nFAKE: line"), std::string::npos);
  EXPECT_EQ(logs.find("\nClicked"), std::string::npos);
  EXPECT_NE(logs.find("Processing message from view: retry\\nClicked data:a\\r\\nFAKE: "
                      "line\\x01"),
            std::string::npos);
}

TEST_F(ViewDispatcherTest, LocationChangeCancelledAcceptedAndRefused) {
  startView();
  struct Row {
    std::string chosen;
    bool fits;
    const char* error;
    std::string data;  // of the "showPathErrorAlert" sent
  } rows[] = {
      {"", true, "",
       "{\"alertText\":\"X\",\"alertTitle\":\"T\",\"errorParam\":\"\",\"incorrectLocation\":"
       "\"false\",\"installLocation\":\"/opt/start\",\"showAlertIcon\":\"true\"}\n"},
      {"/opt/new", true, "",
       "{\"alertText\":\"X\",\"alertTitle\":\"T\",\"errorParam\":\"\",\"incorrectLocation\":"
       "\"false\",\"installLocation\":\"/opt/new\",\"showAlertIcon\":\"true\"}\n"},
      {"/locked", false, "6",
       "{\"alertText\":\"InstallLocationLockedPathErr\",\"alertTitle\":"
       "\"InstallLocationTitleLockedPathErr\",\"errorParam\":\"\",\"incorrectLocation\":\"true\","
       "\"installLocation\":\"/locked\",\"showAlertIcon\":\"true\"}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.chosen);
    workflow().setInstallLocation("/opt/start");
    workflow().setCurrentUIAction(kNoAction);
    browser_->chosen = row.chosen;
    browser_->fits = row.fits;
    browser_->error = row.error;
    dispatch("locationChangeClicked", R"({"alertTitle":"T","alertText":"X"})");
    EXPECT_EQ(recorder().sent().back().first, "showPathErrorAlert");
    EXPECT_EQ(recorder().sent().back().second, row.data);
    EXPECT_EQ(workflow().stateBlock().uiAction, code(UIAction::kBlocked));
  }
  // A location accepted with data that does not parse is kept; only the alert is skipped.
  const size_t sent = recorder().sent().size();
  browser_->chosen = "/opt/other";
  browser_->fits = true;
  dispatch("locationChangeClicked", "{");
  EXPECT_EQ(workflow().installLocation(), "/opt/other");
  EXPECT_EQ(recorder().sent().size(), sent);
}

}  // namespace
}  // namespace wendtest
