#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/common/ReplyJson.h"
#include "services/common/ServiceCall.h"
#include "services/common/ServiceHosts.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/LineBreakers.h"
#include "tests/support/SelfAsChild.h"

namespace wendtest {
namespace {

constexpr char kDeviceToken[] = "device-token-71c2";
constexpr char kAccessToken[] = "access-token-9ad4";
constexpr char kJumpToken[] = "jump-token-03be";
constexpr char kProxyPassword[] = "proxy-password-e6";

constexpr char kProvidersPath[] = "/idra/providers/v1";
constexpr char kTokenPath[] = "/idra/token/v1";
constexpr char kProfilePath[] = "/idra/profile/v1";
constexpr char kJumpPath[] = "/idra/jumptoken/v1";
constexpr char kSocialPath[] = "/idra/social/v1";

// A "name=value" pair of a query or form text, as it went out.
std::string field(const std::string& name, const std::string& value) {
  return name + "=" + percentEncoded(value);
}

class IdraUserProfileTest : public ServicesTest {
 protected:
  void serveSignIn() {
    server_.addBody(kTokenPath, std::string("{\"access_token\":\"") + kAccessToken + "\"}");
    server_.addBody(kProfilePath,
                    "{\"userId\":\"ABC123@IdraID@skyloom.example\",\"name\":\"Ann\"}");
    server_.addBody(kJumpPath,
                    std::string("{\"jump\":\"https://jump.example/open?jt=") + kJumpToken + "\"}");
  }

  bool signIn() {
    profile().setDeviceToken(kDeviceToken);
    return profile().initWithDeviceToken();
  }
};

// The network check: what the providers request meets, run at once and on its own thread.
struct NetworkCase {
  const char* name;
  int status;  // 0: the service is gone (connection refused)
  int expected;
  const char* proxy;  // the server also serves as the proxy and wants these credentials
};

class NetworkCheckTest : public IdraUserProfileTest,
                         public ::testing::WithParamInterface<std::tuple<NetworkCase, bool>> {};

TEST_P(NetworkCheckTest, GivesTheResultTheWorkflowActsOn) {
  const auto& [check, asynchronous] = GetParam();
  startContext({"--environment=PROD"});
  server_.addBody(kProvidersPath, "{\"providers\":[]}");
  if (check.status > 200) answerWith(kProvidersPath, check.status);
  profile().setProxyCredentials("proxy-user", kProxyPassword);
  std::unique_ptr<ScopedEnv> proxy;
  if (check.proxy != nullptr) {
    server_.setProxyCredentials(check.proxy);
    proxy = std::make_unique<ScopedEnv>("http_proxy", server_.url(""));
  }
  if (check.status == 0) server_.stop();
  profile().getSocialProvidersList(asynchronous);
  EXPECT_EQ(profile().waitForSocialProvidersResult(), check.expected);
  if (check.status != 0) {
    EXPECT_TRUE(server_.requestsFor(kProvidersPath)[0].request.target.ends_with(
        std::string(kProvidersPath) + "?client_id=SkyloomInstaller_v1_0"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, NetworkCheckTest,
    ::testing::Combine(
        ::testing::Values(
            NetworkCase{"Ok", 200, 0, nullptr}, NetworkCase{"ServerError", 500, 0, nullptr},
            NetworkCase{"Refused", 0, 1, nullptr},
            NetworkCase{"ServiceWantsProxyCredentials", 407, 2, nullptr},
            NetworkCase{"ProxyTakesTheCredentials", 200, 0, "proxy-user:proxy-password-e6"},
            NetworkCase{"ProxyRefusesTheCredentials", 200, 2, "proxy-user:another"}),
        ::testing::Bool()),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).name) +
             (std::get<1>(param.param) ? "OnItsThread" : "AtOnce");
    });

TEST_F(IdraUserProfileTest, SignsInWithTheDeviceTokenAndALaterRunFindsTheUser) {
  startContext({"--environment=PROD"});
  serveSignIn();
  EXPECT_FALSE(profile().getDefaultUserForClientId());
  ASSERT_TRUE(signIn());

  EXPECT_EQ(profile().accessToken(), kAccessToken);
  EXPECT_EQ(profile().userGuid(), "ABC123@IdraID");
  Json::Value stored;
  ASSERT_TRUE(parseReplyObject(profile().firstText(), stored));
  EXPECT_EQ(stringMember(stored, "name"), "Ann");

  const auto tokenRequests = server_.requestsFor(kTokenPath);
  ASSERT_EQ(tokenRequests.size(), 1u);
  EXPECT_EQ(tokenRequests[0].method(), "POST");
  const std::string& body = tokenRequests[0].body();
  for (const std::string& part :
       {field("client_id", "SkyloomInstaller_v1_0"), field("client_secret", kTestSecret),
        field("device_token", kDeviceToken)}) {
    EXPECT_NE(body.find(part), std::string::npos) << part;
  }
  const auto profileRequests = server_.requestsFor(kProfilePath);
  ASSERT_EQ(profileRequests.size(), 1u);
  EXPECT_EQ(profileRequests[0].header("Authorization"), std::string("Bearer ") + kAccessToken);

  std::string printed;
  EXPECT_EQ(runSelf({"--idra-child"}, &printed), 0);  // a later run of the installer
  EXPECT_EQ(printed, "ABC123@IdraID\n" + profile().firstText() + "\n");
}

TEST_F(IdraUserProfileTest, AFailedSignInChangesNothing) {
  startContext({"--environment=PROD"});
  serveSignIn();
  answerWith(kProfilePath, 401);
  EXPECT_FALSE(signIn());
  EXPECT_EQ(profile().accessToken(), "");
  EXPECT_EQ(profile().userGuid(), "");
  std::string printed;
  EXPECT_EQ(runSelf({"--idra-child"}, &printed), 1);
}

struct JumpCase {
  const char* name;
  const char* targetType;
  const char* reply;  // null: the call is answered 401
  const char* expectedClientId;
  bool succeeds;
};

class JumpUrlTest : public IdraUserProfileTest, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(JumpUrlTest, AsksWithTheAccessTokenForTheTargetsClient) {
  const JumpCase& jump = GetParam();
  startContext({"--environment=PROD"});
  serveSignIn();
  ASSERT_TRUE(signIn());
  if (jump.reply == nullptr) {
    answerWith(kJumpPath, 401);
  } else {
    server_.addBody(kJumpPath, jump.reply);
  }
  std::string url = "unchanged";
  EXPECT_EQ(profile().getJumpUrl("https://site.example/a b", jump.targetType, "de_DE", url),
            jump.succeeds);
  EXPECT_EQ(url, jump.succeeds ? "https://jump.example/open?jt=j" : "unchanged");

  const auto requests = server_.requestsFor(kJumpPath);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].method(), "POST");
  EXPECT_EQ(requests[0].header("Authorization"), std::string("Bearer ") + kAccessToken);
  const std::string& body = requests[0].body();
  EXPECT_NE(body.find(field("target_client_id", jump.expectedClientId)), std::string::npos);
  EXPECT_NE(body.find(field("target_redirect_uri", "https://site.example/a b")), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, JumpUrlTest,
    ::testing::Values(JumpCase{"Mosaic", "mosaic", "{\"jump\":\"https://jump.example/open?jt=j\"}",
                               "MosaicSite_v1_0", true},
                      JumpCase{"Installer", "tarn", "{\"jump\":\"https://jump.example/open?jt=j\"}",
                               "SkyloomInstaller_v1_0", true},
                      JumpCase{"Unauthorized", "mosaic", nullptr, "MosaicSite_v1_0", false},
                      JumpCase{"JumpNotText", "mosaic", "{\"jump\":5}", "MosaicSite_v1_0", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(IdraUserProfileTest, WithoutASignedInUserNoJumpIsAskedFor) {
  startContext({"--environment=PROD"});
  std::string url;
  EXPECT_FALSE(profile().getJumpUrl("https://site.example", "mosaic", "en_US", url));
  EXPECT_TRUE(server_.requestsFor(kJumpPath).empty());
}

TEST_F(IdraUserProfileTest, TheAuthorizeAddressCarriesEveryValueEncoded) {
  startContext({"--environment=STAGE"});
  const std::string url = profile().getAuthorizeUrl("fr_FR", "ctx/1&2", false);
  EXPECT_EQ(url, server_.url("/idra/authorize/v1?") + field("client_id", "SkyloomInstaller_v1_0") +
                     "&" + field("scope", IdraUserProfile::kScope) + "&locale=fr_FR&" +
                     field("context_id", "ctx/1&2") + "&" +
                     field("redirect_uri", idraSentinelRoot("STAGE")));
  EXPECT_EQ(profile().getAuthorizeUrl("fr_FR", "ctx/1&2", true), url + "&create_account=true");
}

TEST_F(IdraUserProfileTest, SocialSignInGivesBothAddressesOrNothing) {
  startContext({"--environment=PROD"});
  server_.addBody(kSocialPath, R"({"internal_url":"https://a.example","x":1,
                                   "external_url":"https://b.example"})");
  std::string out;
  ASSERT_TRUE(profile().getSocialProvidersAuth("google", "en_US", "ctx", out));
  EXPECT_EQ(out, R"({"external_url":"https://b.example","internal_url":"https://a.example"})"
                 "\n");
  EXPECT_NE(server_.requestsFor(kSocialPath)[0].request.target.find("provider_id=google"),
            std::string::npos);
  server_.addBody(kSocialPath, R"({"internal_url":"https://a.example"})");
  EXPECT_FALSE(profile().getSocialProvidersAuth("google", "en_US", "ctx", out));
}

// The environment's name is logged on its own line, whatever it holds; a name the installer has
// no services for keeps the hosts it had.
TEST_F(IdraUserProfileTest, TheEnvironmentInTheLogCannotForgeLines) {
  startContext({"--environment=STAGE"});
  const std::string before = profile().getAuthorizeUrl("en_US", "ctx", false);
  for (const LineBreaker& row : kLineBreakers)
    profile().setEnvironment("PROD" + row.byte + "FORGED");
  EXPECT_EQ(profile().getAuthorizeUrl("en_US", "ctx", false), before);
  ApplicationContext::Destroy();
  const std::string logs = allLogs();
  for (const LineBreaker& row : kLineBreakers) {
    EXPECT_NE(logs.find("Sign-in environment: PROD" + row.shown + "FORGED\n"), std::string::npos)
        << row.shown;
  }
  EXPECT_FALSE(lineBeginsWith(logs, "FORGED"));
}

TEST_F(IdraUserProfileTest, EveryLogAfterTheFlowsHoldsNoSecret) {
  startContext({"--environment=PROD"});
  serveSignIn();
  server_.addBody(kProvidersPath, "{}");
  server_.addBody("/hsmessaging/rest", "ok");
  answerWith(kProvidersPath, 407);
  profile().setProxyCredentials("proxy-user", kProxyPassword);
  profile().getSocialProvidersList(false);
  EXPECT_EQ(profile().waitForSocialProvidersResult(), 2);
  ASSERT_TRUE(signIn());
  ASSERT_TRUE(profile().storeDeviceToken());
  std::string jump;
  ASSERT_TRUE(profile().getJumpUrl("https://site.example", "mosaic", "en_US", jump));
  auto analytics = ETSWrapper::getInstance();
  analytics->setProxyCredentials("proxy-user", kProxyPassword);
  analytics->sendServiceEvent("lbs-login");
  analytics.reset();
  survey().fetchSurveyContext();
  ApplicationContext::Destroy();

  const auto events = server_.requestsFor("/hsmessaging/rest");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].body().find("<param name=\"userGuid\">ABC123@IdraID</param>"),
            std::string::npos)
      << "the signed-in user's GUID goes with every event";

  const std::string logs = allLogs();
  EXPECT_NE(logs.find("Signed in with the device token"), std::string::npos);
  for (const char* secret : {kDeviceToken, kAccessToken, kJumpToken, kTestSecret, kProxyPassword}) {
    EXPECT_EQ(logs.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
}  // namespace wendtest
