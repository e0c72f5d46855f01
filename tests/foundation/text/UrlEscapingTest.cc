#include <gtest/gtest.h>

#include "foundation/text/UrlEscaping.h"

namespace {

TEST(UrlEncode, EscapesReservedAndUnsafeCharacters) {
  struct Case {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"a b", "a%20b"},
      {"a&b", "a%26b"},
      {":/?#[]@$&+,;= ", "%3A%2F%3F%23%5B%5D%40%24%26%2B%2C%3B%3D%20"},
      {"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
      {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
      {"gr\xC3\xBC\xC3\x9F", "gr%C3%BC%C3%9F"},
      {"100%", "100%25"},  // a lone "%" is escaped
      {"a%2Fb", "a%2Fb"},  // an existing escape is kept
      {"%zz", "%25zz"},
      {std::string("a\0b", 3), "a%00b"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_TRUE(StringUtils::utilEncodeURLString(text)) << c.text;
    EXPECT_EQ(text, c.escaped);
  }
}

TEST(UrlEncode, InvalidUtf8IsRefusedUnchanged) {
  for (std::string bad : {"a\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80"}) {
    std::string text = bad;
    EXPECT_FALSE(StringUtils::utilEncodeURLString(text));
    EXPECT_EQ(text, bad);
  }
}

TEST(UrlDecode, ReplacesEscapesAndLeavesStrayPercentSigns) {
  struct Case {
    std::string text;
    std::string decoded;
  } cases[] = {
      {"a%20b", "a b"}, {"%3a%3A", "::"}, {"gr%C3%BC%c3%9f", "gr\xC3\xBC\xC3\x9F"},
      {"100%", "100%"}, {"%2", "%2"},     {"%zz", "%zz"},
      {"%2541", "%41"},  // one pass only
      {"a+b", "a+b"},   {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_TRUE(StringUtils::utilDecodeURLString(text)) << c.text;
    EXPECT_EQ(text, c.decoded);
  }
}

TEST(UrlDecode, ResultThatIsNotUtf8IsRefusedUnchanged) {
  for (std::string bad : {"%FF", "a%C3", "%ED%A0%80"}) {
    std::string text = bad;
    EXPECT_FALSE(StringUtils::utilDecodeURLString(text));
    EXPECT_EQ(text, bad);
  }
}

}  // namespace
