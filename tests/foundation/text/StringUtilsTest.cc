#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <climits>
#include <regex>
#include <set>
#include <tuple>

#include "foundation/text/StringUtils.h"

namespace {

using StringUtils::VersionNumbers;

TEST(StringUtilsConversions, NumbersFormatAsPrintfWould) {
  std::string text;
  EXPECT_TRUE(StringUtils::utilConvertIntToString(-42, text) && text == "-42");
  EXPECT_TRUE(StringUtils::utilConvertInt64ToString(INT64_MIN, text) &&
              text == "-9223372036854775808");
  EXPECT_TRUE(StringUtils::utilConvertDoubleToString(1.5, text) && text == "1.500000");
  EXPECT_TRUE(StringUtils::utilConvertDoubleToString(1e300, text));
  EXPECT_EQ(text.size(), 301u + 7u);  // no fixed-size buffer cuts a long "%f"
  EXPECT_EQ(StringUtils::utilIntToString(INT_MIN), "-2147483648");
  EXPECT_EQ(StringUtils::utilLongToString(LONG_MAX), "9223372036854775807");
}

// Ints read like atoi, clamped; 64-bit values read hex only after a leading prefix.
TEST(StringUtilsConversions, TextToNumbers) {
  const std::tuple<const char*, int, int64_t> cases[] = {
      {"12", 12, 12},
      {"  -3x", -3, -3},
      {"x1", 0, 0},
      {"", 0, 0},
      {"0x1F", 0, 31},
      {"0X1f", 0, 31},
      {"1F", 1, 1},
      {"0x", 0, 0},
      {" 0x10", 0, 0},
      {"99999999999", INT_MAX, 99999999999},
      {"-99999999999", INT_MIN, -99999999999},
      {"9223372036854775807", INT_MAX, INT64_MAX}};
  for (const auto& [text, value, value64] : cases) {
    EXPECT_EQ(StringUtils::utilConvertStringToInt(text), value) << text;
    EXPECT_EQ(StringUtils::utilConvertStringToInt64(text), value64) << text;
  }
}

TEST(StringUtilsLists, PrependKeyValuePutsNewestFirstAndErrorTextsNameTheNumber) {
  std::string text;
  StringUtils::utilPrependKeyValue("k", 5, text);
  StringUtils::utilPrependKeyValue("j", 7, text);
  EXPECT_EQ(text, "j:7,k:5");
  errno = EACCES;
  StringUtils::utilGetErrorString(text, -1);
  EXPECT_EQ(text, "Error 13 Permission denied");
}

TEST(StringUtilsUuid, UuidsAreUpperCaseVersion4AndDistinct) {
  std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  std::string uuid;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(StringUtils::utilCreateUUIDString(uuid) && std::regex_match(uuid, shape)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(StringUtilsText, ReplaceAllResumesBehindTheReplacement) {
  const std::array<const char*, 4> cases[] = {{"100%", "%", "%%", "100%%"},
                                              {"aaa", "a", "aa", "aaaaaa"},
                                              {"abcabc", "bc", "", "aa"},
                                              {"abc", "", "x", "abc"},
                                              {"", "a", "b", ""}};
  for (const auto& [given, from, to, result] : cases) {
    std::string text = given;
    StringUtils::utilReplaceAll(text, from, to);
    EXPECT_EQ(text, result) << given;
  }
}

TEST(StringUtilsText, SplitKeepsEmptyPiecesAndClearsTheList) {
  const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
      {"a..b.", ".", {"a", "", "b", ""}},
      {"", ".", {}},
      {"abc", ".", {"abc"}},
      {"a::b", "::", {"a", "b"}},
      {"abc", "", {"abc"}}};
  for (const auto& [text, delimiter, expected] : cases) {
    std::vector<std::string> pieces = {"stale"};
    EXPECT_EQ(StringUtils::utilSplitString(pieces, text, delimiter), int(expected.size()));
    EXPECT_EQ(pieces, expected) << text;
  }
}

TEST(StringUtilsVersions, ParseSetsAtMostFourNumbersAndKeepsTheRest) {
  const std::pair<const char*, VersionNumbers> cases[] = {
      {"4.1.1.207", {4, 1, 1, 207}}, {"10.9.5", {10, 9, 5, -1}}, {"1.2.3.4.5", {1, 2, 3, 4}},
      {"1.x.3", {1, 0, 3, -1}},      {"", {-1, -1, -1, -1}},     {"7", {7, -1, -1, -1}}};
  for (const auto& [text, expected] : cases) {
    VersionNumbers version = {-1, -1, -1, -1};
    EXPECT_TRUE(StringUtils::utilParseVersionString(text, version));
    EXPECT_EQ(version, expected) << text;
  }
}

TEST(StringUtilsVersions, CompareDecidesAtTheFirstDifferentComponent) {
  const std::tuple<VersionNumbers, VersionNumbers, int> cases[] = {
      {{4, 1, 1, 207}, {4, 1, 2, 0}, -1},
      {{10, 10, 0, 0}, {10, 9, 0, 0}, 1},
      {{1, 2, 0, 0}, {1, 2, 0, 0}, 0},
      {{-1, 0, 0, 0}, {0, 0, 0, 0}, -1},
      {{1, 0, 0, 1}, {1, 0, 0, 0}, 1}};
  for (const auto& [a, b, result] : cases)
    EXPECT_EQ(StringUtils::utilCompareVersions(a, b), result);
}

TEST(StringUtilsQuery, LaterPairsWinNothingIsDecodedAndWithoutAQueryTheMapStays) {
  std::map<std::string, std::string> query;
  EXPECT_EQ(StringUtils::utilParseURLQuery("page?a=1&b=&a=3&c=%41&d=x=y&&e", query), 1);
  std::map<std::string, std::string> expected = {
      {"a", "3"}, {"b", ""}, {"c", "%41"}, {"d", "x"}, {"e", ""}};
  EXPECT_EQ(query, expected);
  EXPECT_EQ(StringUtils::utilParseURLQuery("", query), 0);
  EXPECT_EQ(StringUtils::utilParseURLQuery("http://host/page", query), 1);
  EXPECT_EQ(query, expected);
}

}  // namespace
