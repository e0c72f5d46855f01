#include <gtest/gtest.h>

#include "foundation/text/Utf8.h"

namespace {

TEST(Utf8Validity, AcceptsWellFormedAndRejectsEveryMalformedKind) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", true},  // 2, 3 and 4 byte forms
      {"\xF4\x8F\xBF\xBF", true},                      // U+10FFFF
      {"\x80", false},                                 // continuation without a lead
      {"\xC3", false},                                 // cut short
      {"\xE2\x82", false},
      {"\xC0\x80", false},          // overlong NUL
      {"\xE0\x80\xAF", false},      // overlong "/"
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", false},
      {"\xC3\x28", false},  // bad continuation
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8::isValid(c.bytes), c.valid) << c.bytes;
}

TEST(Utf8FromUtf16, ByteOrderMarkChoosesOrderAndDefaultIsBigEndian) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {
      {std::string("\xFF\xFE"
                   "a\0\xE4\0",
                   6),
       "a\xC3\xA4"},
      {std::string("\xFE\xFF\0a\0\xE4", 6), "a\xC3\xA4"},
      {std::string("\0a\x20\xAC", 4), "a\xE2\x82\xAC"},
      {std::string("\xD8\x3D\xDE\x00", 4), "\xF0\x9F\x98\x80"},  // surrogate pair
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(Utf8::fromUtf16(c.bytes, out));
    EXPECT_EQ(out, c.text);
  }
}

TEST(Utf8FromUtf16, OddLengthAndUnpairedSurrogatesFailWithoutOutput) {
  for (std::string bad : {std::string("\0a\0", 3), std::string("\xD8\x3D", 2),
                          std::string("\xDE\x00\0a", 4), std::string("\xD8\x3D\0a", 4)}) {
    std::string out = "kept";
    EXPECT_FALSE(Utf8::fromUtf16(bad, out));
    EXPECT_EQ(out, "kept");
  }
}

}  // namespace
