#include <gtest/gtest.h>

#include <functional>

#include "core/config/ServiceUrls.h"
#include "tests/support/Environment.h"

namespace {

using wendtest::ScopedEnv;

constexpr char kCfg[] = "https://cfg.skyloom.example";
constexpr char kCfgStage[] = "https://cfg-stage.skyloom.example";
constexpr char kCfgQe[] = "https://cfg-qe.skyloom.example";
constexpr char kWeb[] = "https://www.skyloom.example";
constexpr char kWebStage[] = "https://www-stage.skyloom.example";
constexpr char kNotify[] = "https://notify.skyloom.example";
constexpr char kNotifyStage[] = "https://notify-stage.skyloom.example";

struct Builder {
  const char* name;
  std::function<std::string(ConfigStore&)> build;
  const char* overrideKey;  // null: none
  const char* path;
  int service;  // 0 configuration, 1 web, 2 notification
};

const Builder kBuilders[] = {
    {"Package", GetPackageServiceUrl, "packageServiceUrl",
     "/orvel-ffc-external/core/v1/applications", 0},
    {"Feature", GetFeatureServiceUrl, "featureServiceUrl", "/orvel-ffc-external/core/v3/features",
     0},
    {"Product", GetProductServiceUrl, "productServiceUrl",
     "/orvel-ffc-external/core/v4/products/all?channel=loomm&channel=sti", 0},
    {"Context", GetContextServiceUrl, nullptr, "/orvel-ffc-external/core/v2/context", 0},
    {"Sms", GetSmsServiceUrl, nullptr, "/ans/v1/sms", 2},
    {"ServiceBase", GetServiceBaseUrl, nullptr, "", 0},
    {"WebBase", GetWebBaseUrl, nullptr, "", 1},
    {"NotificationBase", GetNotificationServiceBaseUrl, nullptr, "", 2},
};

struct Environment {
  const char* value;  // null: absent
  const char* bases[3];
};

const Environment kEnvironments[] = {
    {nullptr, {kCfg, kWeb, kNotify}},
    {"", {kCfg, kWeb, kNotify}},
    {"PROD", {kCfg, kWeb, kNotify}},
    {"stg", {kCfgStage, kWebStage, kNotifyStage}},
    {"Stage", {kCfgStage, kWebStage, kNotifyStage}},
    {"qe", {kCfgQe, kWeb, kNotify}},
    {" STG", {kCfg, kWeb, kNotify}},
    {"STAGING", {kCfg, kWeb, kNotify}},
};

void PrintTo(const Builder& b, std::ostream* os) {
  *os << b.name;
}
void PrintTo(const Environment& e, std::ostream* os) {
  *os << (e.value ? e.value : "(absent)");
}

class ServiceUrl : public ::testing::TestWithParam<std::tuple<Builder, Environment>> {};

TEST_P(ServiceUrl, FollowsTheEnvironmentUnlessOverridden) {
  const auto& [builder, environment] = GetParam();
  ScopedEnv local("WEND_SERVICE_BASE", std::nullopt);
  ConfigStore config;
  if (environment.value) config.set("environment", environment.value);
  EXPECT_EQ(builder.build(config), std::string(environment.bases[builder.service]) + builder.path);
  if (!builder.overrideKey) return;
  config.set(builder.overrideKey, "");
  EXPECT_EQ(builder.build(config), "") << "an empty override is still an override";
  config.set(builder.overrideKey, "https://elsewhere/x");
  EXPECT_EQ(builder.build(config), "https://elsewhere/x");
}

INSTANTIATE_TEST_SUITE_P(BuildersByEnvironment, ServiceUrl,
                         ::testing::Combine(::testing::ValuesIn(kBuilders),
                                            ::testing::ValuesIn(kEnvironments)));

TEST(ServiceUrlLocal, OneBaseReplacesEveryHost) {
  ScopedEnv local("WEND_SERVICE_BASE", "http://127.0.0.1:8080");
  ConfigStore config;
  config.set("environment", "qe");
  EXPECT_EQ(GetPackageServiceUrl(config),
            "http://127.0.0.1:8080/orvel-ffc-external/core/v1/applications");
  EXPECT_EQ(GetSmsServiceUrl(config), "http://127.0.0.1:8080/ans/v1/sms");
  EXPECT_EQ(GetContentUrl(config, "TEST", "de_DE"),
            "http://127.0.0.1:8080/de/wend/test.html?wend=true");
}

TEST(ServiceUrlLocal, ReadingTheEnvironmentInsertsIt) {
  ConfigStore config;
  GetSmsServiceUrl(config);
  std::string value;
  EXPECT_TRUE(config.find("environment", value));
}

TEST(ContentUrl, PutsTheRegionBeforeThePageUnlessOverridden) {
  ScopedEnv local("WEND_SERVICE_BASE", std::nullopt);
  const std::pair<const char*, const char*> cases[] = {
      {"en_US", ""},    {"de_DE", "/de"}, {"en_GB", "/gb"}, {"fr_CA", "/ca_fr"}, {"FR_CA", "/ca"},
      {"pt_BR", "/pt"}, {"fr_FR", "/fr"}, {"fr_MA", "/ma"}, {"en_IL", "/il"},    {"xx_", "/"},
      {"en_U", "/u"},   {"en", "/"},      {"", "/"}};
  ConfigStore config;
  for (const auto& [locale, region] : cases) {
    EXPECT_EQ(GetContentUrl(config, "TeSt", locale),
              std::string(kWeb) + region + "/wend/test.html?wend=true")
        << '"' << locale << '"';
  }
  config.set("contentUrl", "https://content/x?y");
  EXPECT_EQ(GetContentUrl(config, "TEST", "de_DE"), "https://content/x?y");
}

}  // namespace
