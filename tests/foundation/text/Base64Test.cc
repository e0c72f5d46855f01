#include <gtest/gtest.h>

#include <cstring>

#include "foundation/text/Base64.h"
#include "tests/support/CapturingLogger.h"

namespace {

std::string encode(const std::string& bytes) {
  std::string out;
  EXPECT_TRUE(StringUtils::utilEncodeDataInBase64(bytes.data(), bytes.size(), out));
  return out;
}

// Decodes the whole text (up to its NUL); "!" stands for a failure, to keep the tables short.
std::string decode(const std::string& text) {
  std::unique_ptr<unsigned char[]> buffer;
  size_t length = 99;
  if (!StringUtils::utilDecodeBase64Data(text.c_str(), text.size() + 1, &buffer, length)) {
    return "!";
  }
  return length ? std::string(reinterpret_cast<char*>(buffer.get()), length) : std::string();
}

TEST(Base64Encode, PadsToWholeGroupsWithoutLineBreaks) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {{"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foobar", "Zm9vYmFy"},
               {std::string("\0\xFF\xFE", 3), "AP/+"},
               {std::string(57, '\xFF'), std::string(76, '/')}};  // no break at 76
  for (const Case& c : cases) {
    std::string text = encode(c.bytes);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

TEST(Base64Decode, LenientRules) {
  struct Case {
    const char* text;
    std::string bytes;  // "!" for malformed
  } cases[] = {
      {"Zm9vYmFy", "foobar"},
      {"Zm9v\nYmFy", "foobar"},        // line break between groups skipped
      {"Zm 9v-Ym\tFy\r\n", "foobar"},  // blanks and "-" skipped anywhere
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zg==Zm8=", "ffo"},                                // padding in mid-text closes a group
      {"Zm9vYg", "!"},                                    // two characters left over
      {"Zm9vY", "!"},                                     // one left over
      {"=Zg=", "!"},                                      // padding first
      {"Z=g=", "!"},                                      // padding second
      {"Zg=A", "!"},                                      // third padded, fourth not
      {"Z:==", std::string(1, static_cast<char>(0x64))},  // ":" lies in "0".."z": decodes as 0
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.text), c.bytes) << c.text;
}

TEST(Base64Decode, StopsAtTheGivenLengthOrNulAndAnEmptyResultGetsNoBuffer) {
  const char text[] = {'Z', 'm', '9', 'v', 'Y', 'm', 'F', 'y'};  // no terminating NUL
  size_t length = 0;
  std::unique_ptr<unsigned char[]> buffer;
  ASSERT_TRUE(StringUtils::utilDecodeBase64Data(text, 4, &buffer, length));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), length), "foo");
  ASSERT_TRUE(StringUtils::utilDecodeBase64Data("Zm9v\0YmFy", 9, nullptr, length));
  EXPECT_EQ(length, 3u);
  buffer.reset();
  ASSERT_TRUE(StringUtils::utilDecodeBase64Data("\n\n", 2, &buffer, length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer, nullptr);
}

TEST(Base64, FailuresLogTheirReason) {
  wendtest::CapturingLogger logger;
  std::string out;
  size_t length = 0;
  EXPECT_FALSE(StringUtils::utilEncodeDataInBase64(nullptr, 3, out, &logger));
  EXPECT_FALSE(StringUtils::utilEncodeDataInBase64("a", 0, out, &logger));
  EXPECT_FALSE(StringUtils::utilDecodeBase64Data(nullptr, 4, nullptr, length, &logger));
  EXPECT_FALSE(StringUtils::utilDecodeBase64Data("Zg==", 0, nullptr, length, &logger));
  EXPECT_FALSE(StringUtils::utilDecodeBase64Data("Zg", 2, nullptr, length, &logger));
  const char* messages[] = {
      "Invalid arguments to utilEncodeDataInBase64.",
      "Invalid arguments to utilEncodeDataInBase64.", "Invalid arguments to utilDecodeBase64Data.",
      "Invalid arguments to utilDecodeBase64Data.", "Failed to decode from base 64."};
  ASSERT_EQ(logger.records().size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(logger.records()[i].message, messages[i]);
    EXPECT_EQ(logger.records()[i].level, 40);
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (size_t length = 1; length <= bytes.size(); length += 37) {
    std::string part = bytes.substr(0, length);
    EXPECT_EQ(decode(encode(part)), part);
  }
}

}  // namespace
