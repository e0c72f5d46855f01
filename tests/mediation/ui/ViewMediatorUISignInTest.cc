#include <gtest/gtest.h>

#include <algorithm>

#include "core/workflow/InstallerStatus.h"
#include "mediation/ui/SignInRedirects.h"
#include "platform/system/ConsoleUser.h"
#include "tests/mediation/ui/support/MediatorRig.h"

namespace wendtest {
namespace {

using mediation::ViewMediatorUI;

constexpr uint32_t kBefore = 0x901;  // where each row starts
constexpr char kSignInPage[] = "https://signin.example/page";

bool has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Lines that load an address into a page.
std::vector<std::string> loads(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(" load ") != std::string::npos) found.push_back(line);
  }
  return found;
}

class ViewMediatorUISignInTest : public MediatorTest {
 protected:
  // A context whose sign-in view has been asked for, its queue run.
  void startSignIn() {
    start();
    mediator().showSignInView();
    drained();
    workflow().setStateCode(static_cast<WorkflowState>(kBefore));
  }
};

// Each redirect of the sign-in page, acted on whether it loaded or failed to.
TEST_F(ViewMediatorUISignInTest, SentinelAddressesEndOrRedirectTheSignIn) {
  struct Row {
    std::string path;  // after the sentinel root
    uint32_t state;
    std::string token;
    std::vector<std::string> lines;  // among those recorded
  } rows[] = {
      {"type3?redirect_uri=https%3A%2F%2Fsso.example%2Fx%3Fa%3D1%26b%3D2",
       code(WorkflowState::kType3SignIn),
       "",
       {"shell type3Title ", "type3 load https://sso.example/x?a=1&b=2",
        "main send showSpinnerScreen "}},
      {"delegation_start?internal_url=https%3A%2F%2Fin.example%2F&external_url=https%3A%2F%2Fout"
       ".example%2F",
       kBefore,
       "",
       {"idra load https://in.example/"}},
      {"delegation_end?internal_url=https%3A%2F%2Fin.example%2F",
       kBefore,
       "",
       {"idra load https://in.example/", "main send showSpinnerScreen ", "shell front"}},
      {"delegation_end",
       kBefore,
       "",
       {"idra load https://signin.example/authorize", "shell front"}},
      {"delegation_error", code(WorkflowState::kSignIn), "", {"shell front"}},
      {"?device_token=tok-1&state=9",
       code(WorkflowState::kDeviceToken),
       "tok-1",
       {"main send showSpinnerScreen "}},
      {"?device_token=a%26b", code(WorkflowState::kDeviceToken), "a%26b", {}},
      {"?device_token=tok-2#state", code(WorkflowState::kDeviceToken), "tok-2", {}},
      {"?device_token=tok-3#f&x=1", code(WorkflowState::kDeviceToken), "tok-3", {}},
  };
  for (const Row& row : rows) {
    for (bool failure : {false, true}) {
      SCOPED_TRACE(row.path + (failure ? " (failed load)" : ""));
      startSignIn();
      mediator().setSocialProviderId("provider");
      bench_.profile->socialWorks = false;
      if (failure) {
        bench_.pages.loadError("idra", mediation::kLoadKindOther, root() + row.path);
      } else {
        bench_.pages.loaded("idra", root() + row.path);
      }
      const auto lines = drained();
      for (const std::string& line : row.lines) EXPECT_TRUE(has(lines, line)) << line;
      EXPECT_EQ(code(workflow().stateCode()), row.state);
      EXPECT_EQ(deviceToken(), row.token);
      EXPECT_EQ(workflow().lastError(), 0);  // a sentinel never marks the page failed
      ApplicationContext::Destroy();
    }
  }
}

TEST_F(ViewMediatorUISignInTest, SocialSignInOpensTheBrowserAndErrorsClearTheProvider) {
  startSignIn();
  bench_.pages.loaded("idra", root() +
                                  "delegation_start?internal_url=https%3A%2F%2Fin.example%2F&"
                                  "external_url=https%3A%2F%2Fout.example%2F");
  EXPECT_NE(readFile(root_ / "opened").find("https://out.example/"), std::string::npos);

  mediator().setSocialProviderId("provider");
  bench_.pages.loaded("idra", root() + "delegation_error");
  EXPECT_EQ(mediator().socialProviderId(), "");
  const auto messages = pageMessages();
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const std::string& message) {
    return message.find("showErrorAlert") == 0 &&
           message.find("\"errorType\":\"ErrorSocialSignIn\"") != std::string::npos &&
           message.find("\"showRetry\":\"true\"") != std::string::npos;
  }));
  const auto events = bench_.analytics->events();
  for (const char* event :
       {"lbs-susi-load-start", "lbs-susi-social-start", "lbs-susi-social-error"}) {
    EXPECT_TRUE(has(events, event)) << event;
  }
}

// Addresses that only look like redirects, or carry nothing usable: nothing is loaded, no token
// kept, and the sign-in starts over.
TEST_F(ViewMediatorUISignInTest, HostileAddressesNeverLoadOrThrow) {
  const std::string rows[] = {
      "type3",
      "type3?redirect_uri=",
      "type3?redirect_uri=javascript%3Aalert(1)",
      "type3x?redirect_uri=https%3A%2F%2Fsso.example%2F",
      "?device_token=",
      "?device_token=&x=1",
      "?device_token=#tok",
      "type3?redirect_uri=https%3A%2F%2Fsso.example%2F%00.evil.example",
      "delegation_startx?internal_url=https%3A%2F%2Fin.example%2F",
      "delegation_start?internal_url=javascript:alert(1)&external_url=https%3A%2F%2Fout.example",
      "delegation_start?internal_url=%ff",
      "elsewhere",
  };
  for (const std::string& path : rows) {
    SCOPED_TRACE(path);
    startSignIn();
    bench_.pages.loaded("idra", root() + path);
    const auto lines = drained();
    EXPECT_TRUE(loads(lines).empty()) << loads(lines).front();
    EXPECT_EQ(workflow().stateCode(), WorkflowState::kSignIn);
    EXPECT_EQ(deviceToken(), "");
    ApplicationContext::Destroy();
  }
  EXPECT_EQ(readFile(root_ / "opened"), "");
}

// A host that only begins like the sentinel host is a sign-in page like any other.
TEST_F(ViewMediatorUISignInTest, ASentinelHostLookalikeIsAnOrdinaryPage) {
  startSignIn();
  std::string lookalike = root();
  lookalike.pop_back();
  bench_.pages.loaded("idra", lookalike + ".evil.example/?device_token=tok");
  const auto lines = drained();
  EXPECT_TRUE(has(lines, "idra show"));
  EXPECT_EQ(deviceToken(), "");
  EXPECT_EQ(code(workflow().stateCode()), kBefore);
  EXPECT_EQ(mediator().visibleView(), ViewMediatorUI::VisibleView::kIdra);
  EXPECT_EQ(workflow().stateBlock().screenId, code(ScreenId::kSignIn));
}

// A page that fails to load raises the network alert (or the proxy prompt when the host could
// not be reached) and ignores its later loads until the sign-in view is shown again.
TEST_F(ViewMediatorUISignInTest, FailedSignInPagesIgnoreLaterLoads) {
  struct Row {
    const char* page;
    int kind;
    int error;
  } rows[] = {
      {"idra", mediation::kLoadKindCannotConnect, 212},
      {"idra", mediation::kLoadKindOther, 206},
      {"type3", mediation::kLoadKindCannotConnect, 212},
      {"type3", mediation::kLoadKindOther, 206},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.page) + " " + std::to_string(row.kind));
    startSignIn();
    mediator().createIdraType3View("https://sso.example/", "T");
    drained();
    bench_.pages.loadError(row.page, row.kind, kSignInPage);
    EXPECT_EQ(workflow().lastError(), row.error);
    EXPECT_EQ(workflow().stateCode(), WorkflowState::kSignIn);
    drained();
    bench_.pages.loaded(row.page, kSignInPage);
    bench_.pages.loaded(row.page, root() + "?device_token=late");
    EXPECT_TRUE(drained().empty());
    EXPECT_EQ(deviceToken(), "");
    ApplicationContext::Destroy();
  }
}

TEST_F(ViewMediatorUISignInTest, ShowingTheSignInViewAgainClearsItsFailure) {
  startSignIn();
  bench_.pages.loadError("idra", mediation::kLoadKindOther, kSignInPage);
  bench_.pages.loadWarning("idra", mediation::kLoadKindOther, "https://cdn.example/x.js");
  mediator().showSignInView();
  drained();
  bench_.pages.loaded("idra", kSignInPage);
  EXPECT_TRUE(has(drained(), "idra show"));
}

// Main page failures: the local page's are only logged; a remote one that cannot connect asks
// for the proxy, any other shows the default content.
TEST_F(ViewMediatorUISignInTest, MainPageLoadErrors) {
  start();
  drained();
  bench_.pages.loadError("main", mediation::kLoadKindCannotConnect, "file:///bundle/main.html");
  EXPECT_TRUE(drained().empty());
  EXPECT_EQ(workflow().lastError(), 0);
  bench_.pages.loadError("main", mediation::kLoadKindOther, "https://content.example/a");
  EXPECT_EQ(pageMessages(), std::vector<std::string>{
                                R"(showDefaultContent {"errorURL":"https://content.example/a"})"});
  bench_.pages.loadError("main", mediation::kLoadKindCannotConnect, "https://content.example/a");
  EXPECT_EQ(workflow().lastError(), kStatusProxyAuthenticationRequired);
}

// The type-3 flow: a second one replaces the first page; the page shows in its window until it
// reaches the device-token address.
TEST_F(ViewMediatorUISignInTest, TypeThreeFlowEndsWithItsDeviceToken) {
  startSignIn();
  const std::string redirect = root() + "type3?redirect_uri=https%3A%2F%2Fsso.example%2F";
  bench_.pages.loaded("idra", redirect);
  drained();
  bench_.pages.loaded("idra", redirect);
  drained();
  EXPECT_EQ(bench_.pages.live.load(), 3);

  bench_.pages.loaded("type3", "https://sso.example/login");
  EXPECT_TRUE(has(drained(), "shell showType3"));
  EXPECT_EQ(mediator().visibleView(), ViewMediatorUI::VisibleView::kIdraType3);

  bench_.pages.loaded("type3", root() + "?device_token=t3&x=1");
  EXPECT_TRUE(has(drained(), "shell hideType3"));
  EXPECT_EQ(mediator().visibleView(), ViewMediatorUI::VisibleView::kMain);
  EXPECT_EQ(deviceToken(), "t3");
  EXPECT_EQ(workflow().stateCode(), WorkflowState::kDeviceToken);
}

// The sign-in view: the social provider's pages when it answers with a web address to load, the
// authorize page otherwise; a non-web address is neither loaded nor opened.
TEST_F(ViewMediatorUISignInTest, SignInViewLoadsTheProvidersOrTheAuthorizePage) {
  struct Row {
    bool works;
    const char* answer;
    std::string load;
  } rows[] = {
      {true, R"({"internal_url":"https://in.example/","external_url":"javascript:x"})",
       "idra load https://in.example/"},
      {true, R"({"internal_url":"file:///etc/passwd"})",
       "idra load https://signin.example/authorize"},
      {true, "not json", "idra load https://signin.example/authorize"},
      {false, R"({"internal_url":"https://in.example/"})",
       "idra load https://signin.example/authorize"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answer);
    start();
    drained();
    mediator().setSocialProviderId("provider");
    bench_.profile->socialWorks = row.works;
    bench_.profile->socialAnswer = row.answer;
    mediator().showSignInView();
    const auto lines = drained();
    EXPECT_EQ(loads(lines), std::vector<std::string>{row.load});
    EXPECT_TRUE(has(lines, "main send showSpinnerScreen "));
    EXPECT_EQ(workflow().stateBlock().screenId, code(ScreenId::kSpinnerBetweenWelcomeAndSignIn));
    ApplicationContext::Destroy();
  }
  EXPECT_EQ(readFile(root_ / "opened"), "");
}

// The device token and the redirects' query values never reach the log.
TEST_F(ViewMediatorUISignInTest, TokensStayOutOfTheLog) {
  std::string logs;
  ASSERT_TRUE(platform::consoleUserLogsFolder(logs));
  writeFile(logs + "/ulex.trace", "");
  startSignIn();
  bench_.pages.loaded("idra", root() + "?device_token=tok-secret&code=c-secret");
  bench_.pages.loadError(
      "idra", mediation::kLoadKindOther,
      root() + "delegation_start?internal_url=https%3A%2F%2Fin.example%2Fi-secret");
  EXPECT_EQ(deviceToken(), "tok-secret");
  ApplicationContext::Destroy();
  const std::string text = logText();
  EXPECT_NE(text.find("got device token: "), std::string::npos);
  EXPECT_NE(text.find("device_token=***&code=***"), std::string::npos);
  EXPECT_EQ(text.find("-secret"), std::string::npos);
}

// A decoded address that holds a control character is no address: what a page would load could
// differ from what was checked (a NUL ends it early) or pass for two.
TEST(SignInRedirects, DecodedAddressesWithControlCharactersAreRefused) {
  const std::string root = "https://sentinel.example/";
  for (const char* control : {"%00", "%0A", "%0D", "%09", "%1B", "%1F", "%7F", "%C2%85"}) {
    SCOPED_TRACE(control);
    const std::string address = std::string("https%3A%2F%2Fin.example%2Fa") + control + "b";
    EXPECT_EQ(mediation::classifyRedirect(root, root + "type3?redirect_uri=" + address).kind,
              mediation::RedirectKind::kMalformed);
    const mediation::SignInRedirect delegation = mediation::classifyRedirect(
        root, root + "delegation_start?internal_url=" + address + "&external_url=" + address);
    EXPECT_EQ(delegation.kind, mediation::RedirectKind::kDelegationStart);
    EXPECT_EQ(delegation.internalUrl, "");
    EXPECT_EQ(delegation.externalUrl, "");
  }
  // Text beyond ASCII is no control character.
  EXPECT_EQ(mediation::classifyRedirect(root, root + "type3?redirect_uri=https%3A%2F%2Fin.example"
                                                     "%2F%C3%BC%C2%A0")
                .redirectUri,
            "https://in.example/\xc3\xbc\xc2\xa0");
}

TEST(SignInRedirects, LogLinesHideQueryValues) {
  const std::pair<std::string, std::string> rows[] = {
      {"https://h/?device_token=secret&x=1", "https://h/?device_token=***&x=***"},
      {"https://h/a?flag&code=c", "https://h/a?flag&code=***"},
      {"https://h/plain", "https://h/plain"},
      {"https://h/?", "https://h/?"},
  };
  for (const auto& [url, shown] : rows) EXPECT_EQ(mediation::maskedForLog(url), shown) << url;
}

}  // namespace
}  // namespace wendtest
