// The SMS request against the test server and the links the fake URL opener is asked to open.
#include <gtest/gtest.h>

#include <string>

#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "tests/mediation/view/ViewRig.h"
#include "tests/support/LineBreakers.h"

namespace wendtest {
namespace {

constexpr char kSmsPath[] = "/ans/v1/sms";
constexpr char kJumpPath[] = "/idra/jumptoken/v1";
constexpr char kTracking[] = "mv=product&mv2=corvel";

class ViewLinksTest : public ViewTest {
 protected:
  void dispatch(const std::string& name, const std::string& data) {
    mediator().processMessageFromView(name, data);
  }
  void status(const std::string& path, int code) {
    server_.clearRules();
    answerWith(path, code);
  }
  // The answers "sendSMSResponse" got, in order.
  std::vector<std::string> smsAnswers() const {
    std::vector<std::string> out;
    for (const auto& [name, data] : recorder().sent()) {
      if (name == "sendSMSResponse") out.push_back(data);
    }
    return out;
  }
  // The "open-url-in-browser" event of this link type; waits for it.
  std::map<std::string, std::string> reported(const std::string& type) const {
    std::map<std::string, std::string> found{{"lbs-carousel-screen-url", "missing"}};
    waitUntil([&] {
      for (auto& event : events()) {
        if (event["eventType"] == "open-url-in-browser" && event["open-url-type"] == type) {
          found = event;
          return true;
        }
      }
      return false;
    });
    return found;
  }
  void signIn() {
    server_.addBody("/idra/token/v1", "{\"access_token\":\"access-token-9ad4\"}");
    server_.addBody("/idra/profile/v1", "{\"userId\":\"ABC@IdraID@x\",\"name\":\"Ann\"}");
    context().userProfile->setDeviceToken("device-token");
    ASSERT_TRUE(context().userProfile->initWithDeviceToken());
  }
};

TEST_F(ViewLinksTest, SmsOutcomesByStatus) {
  startView({"--locale=fr_FR"});
  server_.addBody(kSmsPath, "{\"id\":1}");
  struct Row {
    int status;  // 0: the server stalls past the time-out
    const char* answer;
  } rows[] = {
      {201, "{\"responseCode\":\"201\",\"status\":\"success\"}\n"},
      {200, "{\"responseCode\":\"200\",\"status\":\"error\"}\n"},
      {500, "{\"responseCode\":\"500\",\"status\":\"error\"}\n"},
      {0, "{\"responseCode\":\"0\",\"status\":\"error\"}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    server_.clearRules();
    testserver::Rule rule;
    rule.path = kSmsPath;
    if (row.status == 0) {
      rule.fault.kind = testserver::FaultKind::StallBeforeReply;
    } else {
      rule.fault.status = row.status;
    }
    server_.addRule(rule);
    dispatch("sendSMS", R"({"phoneNumber":"+1 555 & <01>","mobileApp":"sketch"})");
    ASSERT_FALSE(smsAnswers().empty());
    EXPECT_EQ(smsAnswers().back(), row.answer);
  }
  const auto requests = server_.requestsFor(kSmsPath);
  ASSERT_EQ(requests.size(), 4u);
  const auto& request = requests[0];
  EXPECT_EQ(request.method(), "POST");
  // Nobody is signed in: the token is empty (the server trims the blank after "Bearer").
  EXPECT_EQ(request.header("Authorization"), "Bearer");
  EXPECT_EQ(request.header("x-orvel-app-id"), "SkyloomInstaller_v1_0");
  EXPECT_EQ(request.header("x-api-key"), "SkyloomInstaller_v1_0");
  EXPECT_EQ(request.header("Accept"), "application/json");
  EXPECT_EQ(request.header("Content-Type"), "application/xml");
  XMLParser body;
  ASSERT_TRUE(body.initWithXMLString(request.body())) << request.body();
  std::string phone, locale, name;
  EXPECT_TRUE(body.stringValueForXQuery("/send-sms-request/phone-number", phone));
  EXPECT_TRUE(body.stringValueForXQuery("/send-sms-request/locale", locale));
  EXPECT_TRUE(body.stringValueForXQuery("/send-sms-request/template-name", name));
  EXPECT_EQ(phone, "+1 555 & <01>");
  EXPECT_EQ(locale, "fr_FR");
  EXPECT_EQ(name, "com.orvel.wend.v1:mobile.application.sketch");
}

TEST_F(ViewLinksTest, SmsEdgesOfItsData) {
  startView();
  server_.addBody(kSmsPath, "");
  status(kSmsPath, 201);
  dispatch("sendSMS", "not json");
  dispatch("sendSMS", "[\"+1\"]");
  EXPECT_TRUE(server_.requestsFor(kSmsPath).empty());
  EXPECT_TRUE(smsAnswers().empty());

  dispatch("sendSMS", R"({"phoneNumber":"1"})");
  ASSERT_EQ(server_.requestsFor(kSmsPath).size(), 1u);
  EXPECT_NE(server_.requestsFor(kSmsPath)[0].body().find(
                "<template-name>com.orvel.wend.v1:mobile.application.</template-name>"),
            std::string::npos);

  // Behind a proxy that wants credentials: the context's get the request through.
  server_.setProxyCredentials("proxy-user:proxy-pass");
  ScopedEnv proxy("http_proxy", server_.url(""));
  dispatch("sendSMS", R"({"phoneNumber":"2"})");
  EXPECT_EQ(smsAnswers().back(), "{\"responseCode\":\"407\",\"status\":\"error\"}\n");
  context().proxyCredentials.set({"proxy-user", "proxy-pass", false});
  dispatch("sendSMS", R"({"phoneNumber":"3"})");
  EXPECT_EQ(smsAnswers().back(), "{\"responseCode\":\"201\",\"status\":\"success\"}\n");
}

// The service's reply is logged on its own line, whatever it holds.
TEST_F(ViewLinksTest, SmsReplyInTheLogCannotForgeLines) {
  startView();
  for (const LineBreaker& row : kLineBreakers) {
    server_.addBody(kSmsPath, "reply" + row.byte + "FORGED");
    dispatch("sendSMS", R"({"phoneNumber":"1"})");
  }
  ApplicationContext::Destroy();
  const std::string logs = allLogs();
  for (const LineBreaker& row : kLineBreakers) {
    EXPECT_NE(logs.find("ctx response reply" + row.shown + "FORGED\n"), std::string::npos)
        << row.shown;
  }
  EXPECT_FALSE(lineBeginsWith(logs, "FORGED"));
}

TEST_F(ViewLinksTest, LinksOpenedAndReported) {
  startView({"--locale=de_DE"});
  const std::string base = server_.url("");
  dispatch("openurl", "https://site.example/a");
  dispatch("openURL", "https://site.example/never");
  dispatch("openurl", "javascript:alert(1)");
  dispatch("openurl", "smb://host/share");
  dispatch("openUrlInBrowser", R"({"url":"https://site.example/q?x=1"})");
  dispatch("openUrlInBrowser", R"({"url":"https://site.example/end?"})");
  dispatch("searchMosaicInBrowser",
           R"({"url":"https://ignored.example/","searchQuery":"a&b c\u00e9","type":"mosaic",)"
           R"("index":4,"cardID":"card-7","isAuthenticationRequired":"True"})");
  dispatch("openUrlInBrowser", R"({"url":"","type":"tarn"})");
  dispatch("openUrlInBrowser", "not json");
  dispatch("openFileURL", "C:\\Users\\ann\\file.pdf");
  dispatch("learnMoreClicked", R"({"url":"https://site.example/more","index":1,"cardID":"k"})");
  EXPECT_EQ(opened(), std::string("https://site.example/a?") + kTracking + "\n" +
                          "https://site.example/q?x=1&" + kTracking + "\n" +
                          "https://site.example/end?" + kTracking + "\n" + base +
                          "/go/search_mosaic_panel?k=a%26b%20c%C3%A9&sso_inbound=1&locale=de_DE"
                          "&x-product=SkyloomInstaller_v1_0&" +
                          kTracking + "\n" + "file:///C:/Users/ann/file.pdf?" + kTracking + "\n" +
                          "https://site.example/more?" + kTracking + "\n");
  const auto learnMore = eventOf("lbs-carousel-button");
  EXPECT_EQ(learnMore.at("lbs-carousel-screen-url"), "https://site.example/more");
  EXPECT_EQ(learnMore.at("lbs-carousel-screen-index"), "1");
  EXPECT_EQ(learnMore.at("lbs-carousel-screen-id"), "k");
  const auto search = reported("mosaic");
  EXPECT_EQ(search.at("open-url-type"), "mosaic");
  EXPECT_EQ(search.at("lbs-carousel-screen-url"),
            base +
                "/go/search_mosaic_panel?k=a%26b%20c%C3%A9&sso_inbound=1&locale=de_DE"
                "&x-product=SkyloomInstaller_v1_0");
  EXPECT_EQ(search.at("authentication-required"), "True");
  EXPECT_EQ(search.at("lbs-carousel-screen-index"), "4");
  EXPECT_EQ(search.at("lbs-carousel-screen-id"), "card-7");
  // The empty link opened nothing but was reported.
  EXPECT_EQ(reported("tarn").at("lbs-carousel-screen-url"), "");
}

// The opener is handed only one whole address: no line breaks, controls or blanks that could
// split it, and file addresses only for this machine's own paths.
TEST_F(ViewLinksTest, HostileLinksOpenNothing) {
  startView();
  const std::pair<const char*, const char*> rows[] = {
      {"openurl", "https://site.example/a\r\nb"},
      {"openurl", "https://site.example/a\nb"},
      {"openurl", "https://site.example/a b"},
      {"openurl", "https://site.example/\ta"},
      {"openurl", "https://site.example/\x7f"},
      {"openFileURL", "\\\\host\\share\\x"},
      {"openFileURL", "//host/share/x"},
      {"openFileURL", "/etc/passwd"},
      {"openFileURL", "C:\\a\r\nb"},
      {"openFileURL", "C:\\My Files\\a"},
  };
  for (const auto& [name, data] : rows) dispatch(name, data);
  EXPECT_EQ(opened(), "");
}

TEST_F(ViewLinksTest, JumpUrlOpensWithoutTrackingAndItsFailureWithIt) {
  startView({"--environment=PROD"});
  signIn();
  server_.addBody(kJumpPath, "{\"jump\":\"https://jump.example/open?jt=j\"}");
  dispatch("openUrlInBrowser",
           R"({"url":"https://site.example/p","isAuthenticationRequired":true})");
  status(kJumpPath, 401);
  dispatch("openUrlInBrowser",
           R"({"url":"https://site.example/p","isAuthenticationRequired":"true"})");
  EXPECT_EQ(opened(), std::string("https://jump.example/open?jt=j\n") + "https://site.example/p?" +
                          kTracking + "\n");
  ASSERT_FALSE(server_.requestsFor(kJumpPath).empty());
}

TEST_F(ViewLinksTest, TheSilentCopyOpensNoLinks) {
  startView({}, true);
  ViewMediatorBase& silent = mediator();
  silent.processMessageFromView("openurl", "https://site.example/a");
  silent.processMessageFromView("openFileURL", "C:\\Users\\x");
  silent.processMessageFromView("learnMoreClicked", R"({"url":"https://site.example/b"})");
  silent.processMessageFromView("openUrlInBrowser", R"({"url":"https://site.example/c"})");
  silent.processMessageFromView("searchMosaicInBrowser",
                                R"({"url":"https://site.example/d","searchQuery":"e"})");
  EXPECT_EQ(opened(), "");
  EXPECT_EQ(silent.getLocalizedText("Select"), "");
}

}  // namespace
}  // namespace wendtest
