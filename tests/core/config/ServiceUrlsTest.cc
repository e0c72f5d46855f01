#include <gtest/gtest.h>

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

// Each environment against the three bases every address is built on.
TEST(ServiceUrl, BasesFollowTheEnvironment) {
  ScopedEnv local("WEND_SERVICE_BASE", std::nullopt);
  const struct {
    const char* value;  // null: absent
    const char* bases[3];
  } cases[] = {
      {nullptr, {kCfg, kWeb, kNotify}},
      {"", {kCfg, kWeb, kNotify}},
      {"PROD", {kCfg, kWeb, kNotify}},
      {"stg", {kCfgStage, kWebStage, kNotifyStage}},
      {"Stage", {kCfgStage, kWebStage, kNotifyStage}},
      {"qe", {kCfgQe, kWeb, kNotify}},
      {" STG", {kCfg, kWeb, kNotify}},
      {"STAGING", {kCfg, kWeb, kNotify}},
  };
  for (const auto& c : cases) {
    ConfigStore config;
    if (c.value) config.set("environment", c.value);
    const char* name = c.value ? c.value : "(absent)";
    EXPECT_EQ(GetServiceBaseUrl(config), c.bases[0]) << name;
    EXPECT_EQ(GetWebBaseUrl(config), c.bases[1]) << name;
    EXPECT_EQ(GetNotificationServiceBaseUrl(config), c.bases[2]) << name;
  }
}

// Each address against one environment: its base, its path and its override.
TEST(ServiceUrl, AddressesAddTheirPathToTheirBaseUnlessOverridden) {
  ScopedEnv local("WEND_SERVICE_BASE", std::nullopt);
  const struct {
    std::string (*build)(ConfigStore&);
    const char* overrideKey;  // null: none
    std::string url;
  } cases[] = {
      {GetPackageServiceUrl, "packageServiceUrl",
       std::string(kCfgStage) + "/orvel-ffc-external/core/v1/applications"},
      {GetFeatureServiceUrl, "featureServiceUrl",
       std::string(kCfgStage) + "/orvel-ffc-external/core/v3/features"},
      {GetProductServiceUrl, "productServiceUrl",
       std::string(kCfgStage) +
           "/orvel-ffc-external/core/v4/products/all?channel=loomm&channel=sti"},
      {GetContextServiceUrl, nullptr,
       std::string(kCfgStage) + "/orvel-ffc-external/core/v2/context"},
      {GetSmsServiceUrl, nullptr, std::string(kNotifyStage) + "/ans/v1/sms"},
  };
  for (const auto& c : cases) {
    ConfigStore config;
    config.set("environment", "stg");
    EXPECT_EQ(c.build(config), c.url);
    if (!c.overrideKey) continue;
    config.set(c.overrideKey, "");
    EXPECT_EQ(c.build(config), "") << c.overrideKey << ": an empty override is still an override";
    config.set(c.overrideKey, "https://elsewhere/x");
    EXPECT_EQ(c.build(config), "https://elsewhere/x") << c.overrideKey;
  }
}

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
