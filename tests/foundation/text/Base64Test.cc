#include <gtest/gtest.h>

#include <vector>

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

TEST(Base64Encode, PadsToWholeGroupsWithoutLineBreaksAndEveryByteRoundTrips) {
  const std::pair<std::string, std::string> cases[] = {
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\0\xFF\xFE", 3), "AP/+"},
      {std::string(57, '\xFF'), std::string(76, '/')}};  // no break at 76
  for (const auto& [bytes, text] : cases) EXPECT_EQ(encode(bytes), text);
  std::string bytes;  // every byte value round-trips
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (size_t length = 1; length <= bytes.size(); length += 37) {
    EXPECT_EQ(decode(encode(bytes.substr(0, length))), bytes.substr(0, length));
  }
}

TEST(Base64Decode, LenientRules) {
  const std::pair<const char*, std::string> cases[] = {
      {"Zm9v\nYmFy", "foobar"},                           // line break between groups skipped
      {"Zm 9v-Ym\tFy\r\n", "foobar"},                     // blanks and "-" skipped anywhere
      {"Zg==Zm8=", "ffo"},                                // padding in mid-text closes a group
      {"Zm9vYg", "!"},                                    // two characters left over
      {"Zm9vY", "!"},                                     // one left over
      {"=Zg=", "!"},                                      // padding first
      {"Z=g=", "!"},                                      // padding second
      {"Zg=A", "!"},                                      // third padded, fourth not
      {"Z:==", std::string(1, static_cast<char>(0x64))},  // ":" lies in "0".."z": decodes as 0
      {"", ""},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(decode(text), bytes) << text;
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

// The strict decoder takes only what the encoder writes: "!" marks a refusal.
TEST(Base64DecodeStrict, TakesOnlyCanonicalText) {
  const auto strict = [](const std::string& text) {
    std::vector<unsigned char> bytes{'x'};
    if (!StringUtils::utilDecodeBase64Strict(text, bytes)) return std::string("!");
    return std::string(bytes.begin(), bytes.end());
  };
  const std::pair<std::string, std::string> cases[] = {
      {"Zm9vYmFy", "foobar"},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"AP/+", std::string("\0\xFF\xFE", 3)},
      {"", ""},
      {"Zm9v\nYmFy", "!"},              // line break
      {"Zm 9v", "!"},                   // blank
      {"Zm9v-_8=", "!"},                // URL alphabet
      {"Z:==", "!"},                    // punctuation the lenient decoder reads as 0
      {"Zg==Zm8=", "!"},                // padding in mid-text
      {"Zg", "!"},                      // unpadded
      {"Zm9vY", "!"},                   // one left over
      {"Z===", "!"},                    // three padding characters
      {"Zh==", "!"},                    // bits beyond the last byte set
      {"Zm9=", "!"},                    // the same with one padding character
      {std::string("Zm9v\0", 5), "!"},  // NUL inside
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(strict(text), bytes) << text;
  std::string all;  // every byte value round-trips
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t length = 1; length <= all.size(); length += 37) {
    EXPECT_EQ(strict(encode(all.substr(0, length))), all.substr(0, length));
  }
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
  for (const char* message :
       {"Invalid arguments to utilEncodeDataInBase64.",
        "Invalid arguments to utilDecodeBase64Data.", "Failed to decode from base 64."}) {
    EXPECT_TRUE(logger.has(pando::kLogWarn, message)) << message;
  }
}

}  // namespace
