#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <regex>
#include <set>

#include "foundation/text/StringUtils.h"

namespace {

using StringUtils::VersionNumbers;

TEST(StringUtilsConversions, NumbersFormatAsPrintfWould) {
  std::string text;
  EXPECT_TRUE(StringUtils::utilConvertIntToString(-42, text));
  EXPECT_EQ(text, "-42");
  EXPECT_TRUE(StringUtils::utilConvertInt64ToString(INT64_MIN, text));
  EXPECT_EQ(text, "-9223372036854775808");
  EXPECT_TRUE(StringUtils::utilConvertDoubleToString(1.5, text));
  EXPECT_EQ(text, "1.500000");
  EXPECT_TRUE(StringUtils::utilConvertDoubleToString(1e300, text));
  EXPECT_EQ(text.size(), 301u + 7u);  // no fixed-size buffer cuts a long "%f"
  EXPECT_EQ(StringUtils::utilFormatInt(7), "7");
  EXPECT_EQ(StringUtils::utilIntToString(INT_MIN), "-2147483648");
  EXPECT_EQ(StringUtils::utilLongToString(LONG_MAX), "9223372036854775807");
}

TEST(StringUtilsConversions, TextToIntReadsLikeAtoi) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"12", 12},
               {"  -3x", -3},
               {"x1", 0},
               {"", 0},
               {"99999999999", INT_MAX},
               {"-99999999999", INT_MIN}};
  for (const Case& c : cases)
    EXPECT_EQ(StringUtils::utilConvertStringToInt(c.text), c.value) << c.text;
}

TEST(StringUtilsConversions, TextToInt64ReadsHexOnlyAfterALeadingPrefix) {
  struct Case {
    const char* text;
    int64_t value;
  } cases[] = {
      {"0x1F", 31}, {"0X1f", 31}, {"1F", 1}, {"-12", -12}, {"", 0},
      {"   7", 7},  {"abc", 0},   {"0x", 0}, {" 0x10", 0}, {"9223372036854775807", INT64_MAX}};
  for (const Case& c : cases)
    EXPECT_EQ(StringUtils::utilConvertStringToInt64(c.text), c.value) << c.text;
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
  for (int i = 0; i < 100; ++i) {
    std::string uuid;
    ASSERT_TRUE(StringUtils::utilCreateUUIDString(uuid));
    EXPECT_TRUE(std::regex_match(uuid, shape)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(StringUtilsText, ReplaceAllResumesBehindTheReplacement) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    const char* result;
  } cases[] = {{"100%", "%", "%%", "100%%"},
               {"aaa", "a", "aa", "aaaaaa"},
               {"abcabc", "bc", "", "aa"},
               {"abc", "", "x", "abc"},
               {"", "a", "b", ""}};
  for (const Case& c : cases) {
    std::string text = c.text;
    StringUtils::utilReplaceAll(text, c.from, c.to);
    EXPECT_EQ(text, c.result) << c.text;
  }
}

TEST(StringUtilsText, SplitKeepsEmptyPiecesAndClearsTheList) {
  struct Case {
    const char* text;
    const char* delimiter;
    std::vector<std::string> pieces;
  } cases[] = {{"a..b.", ".", {"a", "", "b", ""}},
               {"", ".", {}},
               {"abc", ".", {"abc"}},
               {"a::b", "::", {"a", "b"}},
               {"abc", "", {"abc"}}};
  for (const Case& c : cases) {
    std::vector<std::string> pieces = {"stale"};
    EXPECT_EQ(StringUtils::utilSplitString(pieces, c.text, c.delimiter),
              static_cast<int>(c.pieces.size()));
    EXPECT_EQ(pieces, c.pieces) << c.text;
  }
}

TEST(StringUtilsVersions, ParseSetsAtMostFourNumbersAndKeepsTheRest) {
  struct Case {
    const char* text;
    VersionNumbers version;
  } cases[] = {{"4.1.1.207", {4, 1, 1, 207}}, {"10.9.5", {10, 9, 5, -1}},
               {"1.2.3.4.5", {1, 2, 3, 4}},   {"1.x.3", {1, 0, 3, -1}},
               {"", {-1, -1, -1, -1}},        {"7", {7, -1, -1, -1}}};
  for (const Case& c : cases) {
    VersionNumbers version = {-1, -1, -1, -1};
    EXPECT_TRUE(StringUtils::utilParseVersionString(c.text, version));
    EXPECT_EQ(version, c.version) << c.text;
  }
}

TEST(StringUtilsVersions, CompareDecidesAtTheFirstDifferentComponent) {
  struct Case {
    VersionNumbers a;
    VersionNumbers b;
    int result;
  } cases[] = {{{4, 1, 1, 207}, {4, 1, 2, 0}, -1},
               {{10, 10, 0, 0}, {10, 9, 0, 0}, 1},
               {{1, 2, 0, 0}, {1, 2, 0, 0}, 0},
               {{-1, 0, 0, 0}, {0, 0, 0, 0}, -1},
               {{1, 0, 0, 1}, {1, 0, 0, 0}, 1}};
  for (const Case& c : cases) EXPECT_EQ(StringUtils::utilCompareVersions(c.a, c.b), c.result);
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
