#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/config/ConfigValues.h"
#include "core/install/ProductsData.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/xml/XMLDocumentLimits.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/OnThreads.h"
#include "tools/testserver/TestServer.h"

namespace {

using testserver::FaultKind;

constexpr char kPath[] = "/products/all";
constexpr char kDocument[] =
    "<channels><channel><products>"
    "<product version='1.0'><custom-data><custom-entry key='systemRequirementURL'>"
    "<value>https://old.example/req</value></custom-entry></custom-data></product>"
    "<product version='2.0'><custom-data>"
    "<custom-entry key='systemRequirementURL'><value>https://req.example/first</value>"
    "</custom-entry>"
    "<custom-entry key='systemRequirementURL'><value>https://req.example/second</value>"
    "</custom-entry>"
    "<custom-entry key='compatibilityCheckScript'><value>function f() {}</value></custom-entry>"
    "</custom-data></product>"
    "</products></channel></channels>";

class ProductsDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    server_.addBody(kPath, kDocument);
    SetConfigValue(config_, "productServiceUrl", server_.url(kPath) + "?channel=loomm");
    SetConfigValue(config_, "sapCode", "kvrq");
    SetConfigValue(config_, "version", "2.0");
    setApplicationLogger(&log_);
  }
  void TearDown() override { setApplicationLogger(nullptr); }

  ProductsData make(std::string userName = "", std::string password = "") {
    return ProductsData(
        config_,
        [userName, password](std::string& user, std::string& secret) {
          user = userName;
          secret = password;
        },
        ProductsDataSettings{1});
  }

  void fault(unsigned count, FaultKind kind, int status = 0) {
    testserver::Rule rule;
    rule.path = kPath;
    rule.requestCount = count;
    rule.fault.kind = kind;
    rule.fault.status = status;
    server_.addRule(rule);
  }

  wendtest::ScopedEnv noHttp_{"http_proxy", std::nullopt}, noHttps_{"https_proxy", std::nullopt};
  testserver::TestServer server_{[] {
    testserver::TestServerSettings settings;
    settings.stallLimit = std::chrono::seconds(5);
    return settings;
  }()};
  ConfigStore config_;
  wendtest::CapturingLogger log_;
};

TEST_F(ProductsDataTest, OneRequestWithTheProductQueryAnswersEveryLookup) {
  ProductsData data = make();
  EXPECT_EQ(data.getSystemRequirementURL(), "https://req.example/first");
  EXPECT_EQ(data.getCompatibilityCheckScript(), "function f() {}");
  EXPECT_EQ(data.getCustomEntryValue("missing"), "");
  EXPECT_TRUE(log_.has(pando::kLogDebug, "Custom Entry Value For key missing is: "));

  const auto requests = server_.requestsFor(kPath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request.target,
            std::string(kPath) +
                "?channel=loomm&platform=osx10-64,osx10&_type=xml&productType=Desktop"
                "&payload=true&sapCode=KVRQ");
  EXPECT_EQ(requests[0].method(), "GET");
  EXPECT_EQ(requests[0].header("x-orvel-app-id"), "SkyloomInstaller");
  EXPECT_EQ(requests[0].header("Accept"), "application/xml");
}

// The connector answers a 407 once more itself, with the credentials; the lookup then gives up.
TEST_F(ProductsDataTest, FailedAnswersAreNotKeptSoTheNextLookupAsksAgain) {
  struct Case {
    FaultKind kind;
    int status;
    size_t requests;  // made by the failing lookup
  };
  for (const Case& c : {Case{FaultKind::Status, 404, 1}, Case{FaultKind::Status, 407, 2},
                        Case{FaultKind::Status, 500, 1}, Case{FaultKind::StallBeforeReply, 0, 1}}) {
    SCOPED_TRACE(c.status);
    server_.clearLog();
    log_.clear();
    fault(0, c.kind, c.status);
    ProductsData data = make();
    EXPECT_EQ(data.getSystemRequirementURL(), "");
    EXPECT_TRUE(log_.has(pando::kLogWarn, "Could not get ProductSpecific data since it is empty"));
    EXPECT_EQ(server_.requestsFor(kPath).size(), c.requests);
    server_.clearRules();
    EXPECT_EQ(data.getSystemRequirementURL(), "https://req.example/first");
    EXPECT_EQ(server_.requestsFor(kPath).size(), c.requests + 1);
  }
}

// Another version, also one that would end the query's quotes, has no entries; a malformed
// document gives nothing either, and is not asked for again.
TEST_F(ProductsDataTest, AnotherVersionOrAMalformedDocumentGivesNothing) {
  for (const char* version : {"3.0", "2.0' or @version='1.0"}) {
    SetConfigValue(config_, "version", version);
    EXPECT_EQ(make().getSystemRequirementURL(), "") << version;
  }
  server_.clearLog();
  server_.addBody(kPath, "<channels><channel>");
  ProductsData data = make();
  EXPECT_EQ(data.getSystemRequirementURL(), "");
  EXPECT_TRUE(log_.has(pando::kLogWarn, "failed in to init producs data with XML Parser"));
  EXPECT_EQ(data.getCompatibilityCheckScript(), "");
  EXPECT_EQ(server_.requestsFor(kPath).size(), 1u);
}

// A script past the markup bound made the document vanish with no word of why.
TEST_F(ProductsDataTest, DocumentPastTheMarkupBoundIsRefusedWithItsReason) {
  const std::string script(XMLDocumentLimits::kMaxMarkupLength + 1, ' ');
  server_.addBody(kPath, std::string(kDocument).replace(std::string(kDocument).find("function"), 15,
                                                        "<![CDATA[" + script + "]]>"));
  EXPECT_EQ(make().getCompatibilityCheckScript(), "");
  EXPECT_TRUE(log_.has(pando::kLogWarn, "failed in to init producs data with XML Parser"));
  EXPECT_TRUE(log_.has(pando::kLogWarn,
                       "The products document is refused: a comment, CDATA section, processing "
                       "instruction or tag is longer than the bound"));
}

TEST_F(ProductsDataTest, ProxyCredentialsComeFromTheContext) {
  server_.setProxyCredentials("proxy-user:proxy-secret");
  wendtest::ScopedEnv proxy("http_proxy", server_.url(""));
  EXPECT_EQ(make("proxy-user", "proxy-secret").getSystemRequirementURL(),
            "https://req.example/first");
  const auto requests = server_.requestsFor(kPath);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().header("Proxy-Authorization"),
            "Basic cHJveHktdXNlcjpwcm94eS1zZWNyZXQ=");
}

TEST_F(ProductsDataTest, LookupsFromTwoThreadsShareOneRequest) {
  ProductsData data = make();
  std::string values[2];
  wendtest::onThreads(2, [&](int i) {
    values[i] = i == 0 ? data.getCompatibilityCheckScript() : data.getSystemRequirementURL();
  });
  EXPECT_EQ(values[0], "function f() {}");
  EXPECT_EQ(values[1], "https://req.example/first");
  EXPECT_EQ(server_.requestsFor(kPath).size(), 1u);
}

}  // namespace
