#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/config/ConfigValues.h"
#include "core/install/VisitorId.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/TestCertificate.h"
#include "tools/testserver/TestServer.h"

namespace {

class VisitorIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testserver::writeTestCertificate(folder_ / "cert.pem", folder_ / "key.pem"));
    testserver::TestServerSettings settings;
    settings.tlsCertificateFile = folder_ / "cert.pem";
    settings.tlsKeyFile = folder_ / "key.pem";
    settings.stallLimit = std::chrono::seconds(60);
    server_.emplace(settings);
    ASSERT_TRUE(server_->start());
    caFile_.emplace("WEND_CA_FILE", folder_ / "cert.pem");
    SetConfigValue(config_, "visitorIdHost", "127.0.0.1:" + std::to_string(server_->port()));
    SetConfigValue(config_, "quarry_uuid", "q uuid/1");
  }

  void sync(const std::string& guid = "a&b#c") {
    syncVisitorId(config_, guid, "", "", VisitorIdSettings{1});
  }

  wendtest::TemporaryFolder folder_;
  wendtest::ScopedEnv noHttps_{"https_proxy", std::nullopt},
      noHttpsUpper_{"HTTPS_PROXY", std::nullopt};
  std::optional<wendtest::ScopedEnv> caFile_;
  std::optional<testserver::TestServer> server_;
  ConfigStore config_;
};

// The second time the server holds the request far longer than the time-out; the call returns
// at the time-out.
TEST_F(VisitorIdTest, TheServiceSeesBothValuesEscapedAndASilentOneCostsOnlyTheTimeOut) {
  constexpr char kTarget[] = "/ibs:dpid=813&dpuuid=a%26b%23c&d_uuid=q%20uuid%2F1";
  sync();
  testserver::Rule rule;
  rule.path = kTarget;
  rule.fault.kind = testserver::FaultKind::StallBeforeReply;
  server_->addRule(rule);
  sync();
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method(), "GET");
  EXPECT_EQ(requests[0].request.target, kTarget);
}

TEST_F(VisitorIdTest, NothingIsSentWithoutQuarryUuidOrHost) {
  SetConfigValue(config_, "quarry_uuid", "");
  sync();
  SetConfigValue(config_, "quarry_uuid", "q");
  SetConfigValue(config_, "visitorIdHost", "");
  sync();
  EXPECT_TRUE(server_->requests().empty());
}

}  // namespace
