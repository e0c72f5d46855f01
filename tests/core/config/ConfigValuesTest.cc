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

void PrintTo(const GetterCase& c, std::ostream* os) {
  *os << c.key << "=" << (c.stored ? c.stored : "(absent)");
}

std::string showSurvey(ConfigStore& config) {
  return GetShowSurvey(config) ? "yes" : "no";
}
std::string checkCompatibility(ConfigStore& config) {
  return GetCheckForCompatibility(config) ? "yes" : "no";
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
    ::testing::Values(GetterCase{"sapCode", "tEsT", GetSapCode, "TEST"},
                      GetterCase{"sapCode", "caf\xc3\xa9", GetSapCode, "CAF\xc3\xa9"},
                      GetterCase{"sapCode", nullptr, GetSapCode, ""},
                      GetterCase{"environment", nullptr, GetEnvironment, ""},
                      GetterCase{"locale", nullptr, GetLocale, ""},
                      GetterCase{"actionList", "a,b", GetActionList, "a,b"},
                      GetterCase{"wendExp", nullptr, GetWendExp, "default"},
                      GetterCase{"wendExp", "", GetWendExp, "default"},
                      GetterCase{"wendExp", "lite", GetWendExp, "lite"},
                      GetterCase{"showSurvey", nullptr, showSurvey, "yes"},
                      GetterCase{"showSurvey", "true", showSurvey, "yes"},
                      GetterCase{"showSurvey", "TRUE", showSurvey, "no"},
                      GetterCase{"checkForCompatibility", nullptr, checkCompatibility, "no"},
                      GetterCase{"checkForCompatibility", "False", checkCompatibility, "yes"},
                      GetterCase{"checkForCompatibility", "false", checkCompatibility, "no"},
                      GetterCase{"TallyVersion", "2", GetTallyVersion, "2"},
                      GetterCase{"quarry_uuid", nullptr, GetQuarryUuid, ""}));

TEST(ConfigLookup, GenericLookupNeverInserts) {
  ConfigStore config;
  EXPECT_EQ(GetWendExp(config), "default");
  EXPECT_EQ(GetConfigValue(config, "wendExp"), "");
  EXPECT_EQ(GetConfigValue(config, "absent"), "");
  std::string value;
  EXPECT_FALSE(config.find("absent", value));
}

}  // namespace
