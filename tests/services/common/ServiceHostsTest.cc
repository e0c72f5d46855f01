#include <gtest/gtest.h>

#include <string>

#include "services/common/ServiceHosts.h"
#include "tests/support/Environment.h"

namespace {

TEST(ServiceHostsTest, OnlyTheNamedSignInEnvironmentsHaveHosts) {
  wendtest::ScopedEnv noBase{"WEND_SERVICE_BASE", std::nullopt};
  for (const char* name : {"PROD", "PRODUCTION", "STG", "STAGE", "DEV1", "DEV2", "QA1", "QA2"}) {
    IdraHost idra;
    EXPECT_TRUE(idraHostFor(name, idra)) << name;
    EXPECT_TRUE(idra.base.ends_with(".skyloom.example")) << name;
  }
  IdraHost stage;
  idraHostFor("STG", stage);
  for (const char* name : {"prod", "Stage", "QA3", ""}) {
    IdraHost idra = stage;
    EXPECT_FALSE(idraHostFor(name, idra)) << name;
    EXPECT_EQ(idra.base, stage.base) << name;
  }
  EXPECT_EQ(eventsBaseUrl("STAGE"), "https://events-stage.skyloom.example");
  EXPECT_EQ(eventsBaseUrl("QA1"), "https://events.skyloom.example");
}

TEST(ServiceHostsTest, OneLocalBaseReplacesEveryHost) {
  wendtest::ScopedEnv base{"WEND_SERVICE_BASE", "http://127.0.0.1:8"};
  IdraHost idra;
  ASSERT_TRUE(idraHostFor("QA1", idra));
  EXPECT_EQ(idra.base, "http://127.0.0.1:8");
  EXPECT_EQ(eventsBaseUrl("STAGE"), "http://127.0.0.1:8");
  EXPECT_EQ(beaconBaseUrl("PROD"), "http://127.0.0.1:8");
  EXPECT_EQ(idraSentinelRoot("PROD"), "http://127.0.0.1:8/wend/signin/");
}

}  // namespace
