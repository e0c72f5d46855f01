#include <gtest/gtest.h>

#include <string>

#include "services/ServiceHosts.h"
#include "tests/support/Environment.h"

namespace {

struct HostCase {
  const char* environment;
  const char* idraBase;  // null: not a sign-in environment
  const char* eventsBase;
};

void PrintTo(const HostCase& host, std::ostream* out) {
  *out << host.environment;
}

class ServiceHostsTest : public ::testing::TestWithParam<HostCase> {
 protected:
  wendtest::ScopedEnv noBase_{"WEND_SERVICE_BASE", std::nullopt};
};

TEST_P(ServiceHostsTest, EachEnvironmentHasItsHosts) {
  const HostCase& host = GetParam();
  IdraHost idra{"untouched", "untouched"};
  EXPECT_EQ(idraHostFor(host.environment, idra), host.idraBase != nullptr);
  EXPECT_EQ(idra.base, host.idraBase != nullptr ? host.idraBase : "untouched");
  EXPECT_EQ(eventsBaseUrl(host.environment), host.eventsBase);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, ServiceHostsTest,
    ::testing::Values(
        HostCase{"PROD", "https://idra.skyloom.example", "https://events.skyloom.example"},
        HostCase{"PRODUCTION", "https://idra.skyloom.example", "https://events.skyloom.example"},
        HostCase{"STG", "https://idra-stage.skyloom.example",
                 "https://events-stage.skyloom.example"},
        HostCase{"STAGE", "https://idra-stage.skyloom.example",
                 "https://events-stage.skyloom.example"},
        HostCase{"DEV1", "https://idra-dev1.skyloom.example", "https://events.skyloom.example"},
        HostCase{"DEV2", "https://idra-dev2.skyloom.example", "https://events.skyloom.example"},
        HostCase{"QA1", "https://idra-qa1.skyloom.example", "https://events.skyloom.example"},
        HostCase{"QA2", "https://idra-qa2.skyloom.example", "https://events.skyloom.example"},
        HostCase{"prod", nullptr, "https://events.skyloom.example"},
        HostCase{"", nullptr, "https://events.skyloom.example"}),
    [](const auto& param) {
      return param.param.environment[0] ? std::string(param.param.environment) : "Empty";
    });

TEST(ServiceBaseTest, OneLocalBaseReplacesEveryHost) {
  wendtest::ScopedEnv base{"WEND_SERVICE_BASE", "http://127.0.0.1:8"};
  IdraHost idra;
  ASSERT_TRUE(idraHostFor("QA1", idra));
  EXPECT_EQ(idra.base, "http://127.0.0.1:8");
  EXPECT_EQ(eventsBaseUrl("STAGE"), "http://127.0.0.1:8");
  EXPECT_EQ(beaconBaseUrl("PROD"), "http://127.0.0.1:8");
  EXPECT_EQ(idraSentinelRoot("PROD"), "http://127.0.0.1:8/wend/signin/");
  EXPECT_FALSE(idraHostFor("QA3", idra));
}

}  // namespace
