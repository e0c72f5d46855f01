#include <gtest/gtest.h>

#include <functional>

#include "core/config/ConfigValues.h"

namespace {

struct GetterCase {
  const char* key;
  const char* stored;  // null: absent
  std::function<std::string(ConfigStore&)> read;
  std::string expected;
};

std::string yesNo(bool value) {
  return value ? "yes" : "no";
}

void PrintTo(const GetterCase& c, std::ostream* os) {
  *os << c.key << "=" << (c.stored ? c.stored : "(absent)");
}

class ConfigGetter : public ::testing::TestWithParam<GetterCase> {};

TEST_P(ConfigGetter, ReadsItsKeyAndLeavesItPresent) {
  const GetterCase& c = GetParam();
  ConfigStore config;
  if (c.stored) config.set(c.key, c.stored);
  EXPECT_EQ(c.read(config), c.expected);
  std::string value;
  EXPECT_TRUE(config.find(c.key, value)) << "a getter inserts its key on a miss";
  EXPECT_EQ(value, c.stored ? c.stored : "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigGetter,
    ::testing::Values(
        GetterCase{"sapCode", "tEsT", GetSapCode, "TEST"},
        GetterCase{"sapCode", "caf\xc3\xa9", GetSapCode, "CAF\xc3\xa9"},
        GetterCase{"sapCode", nullptr, GetSapCode, ""},
        GetterCase{"environment", "stage", GetEnvironment, "STAGE"},
        GetterCase{"version", "1.2", GetVersion, "1.2"},
        GetterCase{"productName", "Tarn", GetProductName, "Tarn"},
        GetterCase{"locale", nullptr, GetLocale, ""},
        GetterCase{"contextID", "c", GetContextID, "c"},
        GetterCase{"minimumOsVersion", nullptr, GetMinimumOsVersion, ""},
        GetterCase{"actionList", "a,b", GetActionList, "a,b"},
        GetterCase{"wendExp", nullptr, GetWendExp, "default"},
        GetterCase{"wendExp", "", GetWendExp, "default"},
        GetterCase{"wendExp", "lite", GetWendExp, "lite"},
        GetterCase{"showSurvey", nullptr, [](ConfigStore& c) { return yesNo(GetShowSurvey(c)); },
                   "yes"},
        GetterCase{"showSurvey", "true", [](ConfigStore& c) { return yesNo(GetShowSurvey(c)); },
                   "yes"},
        GetterCase{"showSurvey", "TRUE", [](ConfigStore& c) { return yesNo(GetShowSurvey(c)); },
                   "no"},
        GetterCase{"showSurvey", "false", [](ConfigStore& c) { return yesNo(GetShowSurvey(c)); },
                   "no"},
        GetterCase{"checkForCompatibility", nullptr,
                   [](ConfigStore& c) { return yesNo(GetCheckForCompatibility(c)); }, "no"},
        GetterCase{"checkForCompatibility", "no",
                   [](ConfigStore& c) { return yesNo(GetCheckForCompatibility(c)); }, "yes"},
        GetterCase{"checkForCompatibility", "0",
                   [](ConfigStore& c) { return yesNo(GetCheckForCompatibility(c)); }, "yes"},
        GetterCase{"checkForCompatibility", "False",
                   [](ConfigStore& c) { return yesNo(GetCheckForCompatibility(c)); }, "yes"},
        GetterCase{"checkForCompatibility", "false",
                   [](ConfigStore& c) { return yesNo(GetCheckForCompatibility(c)); }, "no"},
        GetterCase{"contextParams", "{}", GetContextParams, "{}"},
        GetterCase{"userGuid", "u", GetUserGuid, "u"}, GetterCase{"mid", "m", GetMid, "m"},
        GetterCase{"aid", "a", GetAid, "a"}, GetterCase{"TallyVersion", "2", GetTallyVersion, "2"},
        GetterCase{"quarry_uuid", "q", GetQuarryUuid, "q"},
        GetterCase{"manifestUrl", "https://m", GetManifestUrl, "https://m"}));

TEST(ConfigLookup, GenericLookupNeverInserts) {
  ConfigStore config;
  EXPECT_EQ(GetWendExp(config), "default");
  EXPECT_EQ(GetConfigValue(config, "wendExp"), "");
  EXPECT_EQ(GetConfigValue(config, "absent"), "");
  std::string value;
  EXPECT_FALSE(config.find("absent", value));
}

TEST(ConfigLookup, WritersInsertOrOverwrite) {
  ConfigStore config;
  SetConfigValue(config, "k", "1");
  SetConfigValue(config, "k", "2");
  SetEnvironment(config, "qe");
  EXPECT_EQ(GetConfigValue(config, "k"), "2");
  EXPECT_EQ(GetConfigValue(config, "environment"), "qe");
  EXPECT_EQ(GetEnvironment(config), "QE");
}

}  // namespace
