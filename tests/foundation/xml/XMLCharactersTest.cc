#include <gtest/gtest.h>

#include <string>

#include "foundation/xml/XMLCharacters.h"

namespace {

using namespace std::string_literals;

TEST(XMLCharactersTest, TextsAndNamesAReaderCanParseBack) {
  struct Case {
    std::string text;
    bool isText, isName;
  };
  const Case cases[] = {
      {"", true, false},
      {"plain", true, true},
      {"a&b<c>\"q'", true, false},
      {"tab\tline\ncarriage\r", true, false},
      {"\xE2\x82\xAC and \xF0\x9F\x98\x80", true, false},
      {"\xEF\xBF\xBD", true, false},
      {"key-with.dots_and-dash", true, true},
      {"_x", true, true},
      {"ns:tag", true, true},
      {"\xC3\xA9l\xC3\xA9ment", true, true},
      {"a><x/><b", true, false},
      {"a b", true, false},
      {"1abc", true, false},
      {"-a", true, false},
      {"nul\0inside"s, false, false},        // would be cut short
      {"bell\x07", false, false},            // control character
      {"\xFF", false, false},                // not UTF-8
      {"\xC0\xBC", false, false},            // overlong '<'
      {"\xE0\x80\xBC", false, false},        // overlong '<', three bytes
      {"\xED\xA0\x80", false, false},        // surrogate
      {"\xEF\xBF\xBE", false, false},        // U+FFFE
      {"\xF4\x90\x80\x80", false, false},    // above U+10FFFF
      {"\xBF\x80", false, false},            // continuation byte as a lead
      {"truncated \xE2\x82", false, false},  // sequence cut off at the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XMLCharacters::isValidText(c.text), c.isText) << testing::PrintToString(c.text);
    EXPECT_EQ(XMLCharacters::isValidName(c.text), c.isName) << testing::PrintToString(c.text);
  }
}

}  // namespace
