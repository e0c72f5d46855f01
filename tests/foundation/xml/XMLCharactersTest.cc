#include <gtest/gtest.h>

#include <string>

#include "foundation/xml/XMLCharacters.h"

namespace {

using namespace std::string_literals;

TEST(XMLCharactersTest, AcceptsTextThatXMLCanCarry) {
  for (const std::string& text :
       {""s, "plain"s, "a&b<c>\"q'"s, "tab\tline\ncarriage\r"s, "caf\xC3\xA9"s,
        "\xE2\x82\xAC and \xF0\x9F\x98\x80"s, "\xEF\xBF\xBD"s}) {
    EXPECT_TRUE(XMLCharacters::isValidText(text)) << text;
  }
}

TEST(XMLCharactersTest, RefusesTextAReaderCouldNotParseBack) {
  for (const std::string& text : {
           "nul\0inside"s,         // would be cut short
           "bell\x07"s,            // control character
           "\xFF"s,                // not UTF-8
           "\xC0\xBC"s,            // overlong '<'
           "\xE0\x80\xBC"s,        // overlong '<', three bytes
           "\xED\xA0\x80"s,        // surrogate
           "\xEF\xBF\xBE"s,        // U+FFFE
           "\xF4\x90\x80\x80"s,    // above U+10FFFF
           "\xBF\x80"s,            // continuation byte as a lead
           "truncated \xE2\x82"s,  // sequence cut off at the end
       }) {
    EXPECT_FALSE(XMLCharacters::isValidText(text)) << testing::PrintToString(text);
  }
}

TEST(XMLCharactersTest, AcceptsElementNames) {
  for (const std::string& name :
       {"a"s, "pipeName"s, "key-with.dots_and-dash"s, "_x"s, "ns:tag"s, "\xC3\xA9l\xC3\xA9ment"s}) {
    EXPECT_TRUE(XMLCharacters::isValidName(name)) << name;
  }
}

TEST(XMLCharactersTest, RefusesNamesThatWouldBreakMarkup) {
  for (const std::string& name : {""s, "a><x/><b"s, "a b"s, " a"s, "1abc"s, "-a"s, "a=b"s, "a\"b"s,
                                  "a&b"s, "a\0b"s, "\xFF"s}) {
    EXPECT_FALSE(XMLCharacters::isValidName(name)) << testing::PrintToString(name);
  }
}

}  // namespace
