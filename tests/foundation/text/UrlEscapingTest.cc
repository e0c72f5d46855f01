#include <gtest/gtest.h>

#include "foundation/text/UrlEscaping.h"

namespace {

// Each case is (text, result); a null result means the text is refused and left as it was.
void expectTransforms(bool (*transform)(std::string&),
                      std::initializer_list<std::pair<std::string, const char*>> cases) {
  for (const auto& [given, result] : cases) {
    std::string text = given;
    EXPECT_EQ(transform(text), result != nullptr) << given;
    EXPECT_EQ(text, result ? std::string(result) : given);
  }
}

TEST(UrlEscaping, EncodeEscapesReservedAndUnsafeCharactersOfValidUtf8Only) {
  expectTransforms(StringUtils::utilEncodeURLString,
                   {{"a b", "a%20b"},
                    {":/?#[]@$&+,;= ", "%3A%2F%3F%23%5B%5D%40%24%26%2B%2C%3B%3D%20"},
                    {"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
                    {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
                    {"gr\xC3\xBC\xC3\x9F", "gr%C3%BC%C3%9F"},
                    {"100%", "100%25"},  // a lone "%" is escaped
                    {"a%2Fb", "a%2Fb"},  // an existing escape is kept
                    {"%zz", "%25zz"},
                    {std::string("a\0b", 3), "a%00b"},
                    {"", ""},
                    {"a\xFF", nullptr}});  // the kinds of malformed UTF-8: Utf8Test
}

TEST(UrlEscaping, DecodeReplacesEscapesOnceLeavesStrayPercentSignsAndRefusesNonUtf8) {
  expectTransforms(StringUtils::utilDecodeURLString, {{"a%20b", "a b"},
                                                      {"%3a%3A", "::"},
                                                      {"gr%C3%BC%c3%9f", "gr\xC3\xBC\xC3\x9F"},
                                                      {"100%", "100%"},
                                                      {"%2", "%2"},
                                                      {"%zz", "%zz"},
                                                      {"%2541", "%41"},
                                                      {"a+b", "a+b"},
                                                      {"", ""},
                                                      {"a%C3", nullptr},
                                                      {"%ED%A0%80", nullptr}});
}

}  // namespace
