#include <gtest/gtest.h>

#include <map>

#include "core/config/ConfigXml.h"

namespace {

using Map = std::map<std::string, std::string>;

struct LoadCase {
  const char* name;
  std::string xml;
  bool result;
  Map expected;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << c.name;
}

class ConfigXmlLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ConfigXmlLoad, ReplacesTheWholeStore) {
  ConfigStore config;
  config.set("stale", "gone either way");
  EXPECT_EQ(ConfigXmlToMap(config, GetParam().xml), GetParam().result);
  EXPECT_EQ(config.snapshot(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigXmlLoad,
    ::testing::Values(LoadCase{"FlatElements",
                               "<config><sapCode>TEST</sapCode><empty/></config>",
                               true,
                               {{"sapCode", "TEST"}, {"empty", ""}}},
                      LoadCase{
                          "FirstOfADuplicateWins", "<c><a>1</a><a>2</a></c>", true, {{"a", "1"}}},
                      LoadCase{"OnlyElementChildren",
                               "<c>text<!-- n --><?pi x?><a>1<b>2</b></a></c>",
                               true,
                               {{"a", "12"}}},
                      LoadCase{"EmptyRoot", "<config/>", true, {}},
                      LoadCase{"NotXml", "<config><a></config>", false, {}},
                      LoadCase{"EmptyText", "", false, {}},
                      LoadCase{"NoRootElement", "<!-- only a comment -->", false, {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ConfigXmlWrite, RoundTripGivesBackTheSameMap) {
  const Map cases[] = {Map{},
                       Map{{"a", ""}},
                       Map{{"aid", "1"}, {"TallyVersion", "2"}},
                       Map{{"x", "<&>\"' markup"}, {"y", "  spaced  "}, {"z", "caf\xc3\xa9"}},
                       Map{{"contextParams", "{\n   \"a\" : 1\n}\n"}},
                       Map{{"ns.key-1", "v"}, {"_k", "line\nbreak"}}};
  for (const Map& map : cases) {
    ConfigStore config, again;
    config.replaceAll(map);
    ASSERT_TRUE(ConfigXmlToMap(again, ConfigMapToXml(config)));
    EXPECT_EQ(again.snapshot(), map);
  }
}

TEST(ConfigXmlWrite, OrdersKeysByteWise) {
  ConfigStore config;
  config.set("aid", "1");
  config.set("TallyVersion", "2");
  const std::string xml = ConfigMapToXml(config);
  EXPECT_EQ(xml, "<config>\n  <TallyVersion>2</TallyVersion>\n  <aid>1</aid>\n</config>\n");
}

TEST(ConfigXmlWrite, LeavesOutWhatXmlCannotCarry) {
  ConfigStore config;
  config.set("", "empty key");
  config.set("1abc", "digit first");
  config.set("a b", "blank");
  config.set("<x>", "markup");
  config.set("ctl", std::string("\x01", 1));
  config.set("good", "kept");
  ConfigStore again;
  ASSERT_TRUE(ConfigXmlToMap(again, ConfigMapToXml(config)));
  EXPECT_EQ(again.snapshot(), (Map{{"good", "kept"}}));
}

}  // namespace
