#include <gtest/gtest.h>

#include "foundation/text/Utf8.h"

namespace {

TEST(Utf8Validity, AcceptsWellFormedAndRejectsEveryMalformedKind) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", true},  // 2, 3 and 4 byte forms
      {"\xF4\x8F\xBF\xBF", true},                      // U+10FFFF
      {"\x80", false},                                 // continuation without a lead
      {"\xC3", false},                                 // cut short
      {"\xC0\x80", false},                             // overlong NUL
      {"\xE0\x80\xAF", false},                         // overlong "/"
      {"\xED\xA0\x80", false},                         // surrogate
      {"\xF4\x90\x80\x80", false},                     // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", false},
      {"\xC3\x28", false},  // bad continuation
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(Utf8::isValid(bytes), valid) << bytes;
}

// A null text: odd lengths and unpaired surrogates fail and leave the output alone.
TEST(Utf8FromUtf16, ByteOrderMarkChoosesOrderDefaultIsBigEndianAndBadInputFails) {
  using namespace std::string_literals;
  const std::pair<std::string, const char*> cases[] = {
      {"\xFF\xFE\x61\0\xE4\0"s, "a\xC3\xA4"},
      {"\xFE\xFF\0a\0\xE4"s, "a\xC3\xA4"},
      {"\0a\x20\xAC"s, "a\xE2\x82\xAC"},
      {"\xD8\x3D\xDE\x00"s, "\xF0\x9F\x98\x80"},  // surrogate pair
      {"", ""},
      {"\0a\0"s, nullptr},
      {"\xD8\x3D"s, nullptr},
      {"\xDE\x00\0a"s, nullptr},
      {"\xD8\x3D\0a"s, nullptr},
  };
  for (const auto& [bytes, text] : cases) {
    std::string out = "kept";
    EXPECT_EQ(Utf8::fromUtf16(bytes, out), text != nullptr);
    EXPECT_EQ(out, text ? text : "kept");
  }
}

TEST(Utf8FromUtf16, OnlyAByteOrderMarkMakesTextUtf16) {
  using namespace std::string_literals;
  const std::pair<std::string, const char*> cases[] = {
      {"\xFF\xFEh\0"s, "h"}, {"\xFE\xFF\0h"s, "h"}, {"\0h"s, nullptr}, {"", nullptr}};
  for (const auto& [bytes, text] : cases) {
    std::string out = "kept";
    EXPECT_EQ(Utf8::fromMarkedUtf16(bytes, out), text != nullptr);
    EXPECT_EQ(out, text ? text : "kept");
  }
}

}  // namespace
