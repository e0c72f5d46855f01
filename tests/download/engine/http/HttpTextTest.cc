#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/engine/http/HttpText.h"

namespace gde {
namespace {

TEST(HttpTextTest, OnlyBytesIllegalInAUrlAreEscaped) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a/b/file.bin?x=1&y=2#frag", "a/b/file.bin?x=1&y=2#frag"},
      {"a%2Fb%3Fc%23d%25e%00f", "a%2Fb%3Fc%23d%25e%00f"},
      {"a%2fb", "a%2fb"},
      {"with space", "with%20space"},
      {"q\"<>\\^`{|}", "q%22%3C%3E%5C%5E%60%7B%7C%7D"},
      {"line\r\nbreak", "line%0D%0Abreak"},
      {std::string("nul\0byte", 8), "nul%00byte"},
      {"caf\xC3\xA9", "caf%C3%A9"},
      {"del\x7F", "del%7F"},
      {"100%", "100%25"},
      {"50%zz", "50%25zz"},
      {"%4", "%254"},
      {"~-._!$&'()*+,;=:@[]", "~-._!$&'()*+,;=:@[]"},
  };
  for (const auto& [given, expected] : cases) {
    EXPECT_EQ(escapeIllegalUrlBytes(given), expected) << given;
    EXPECT_EQ(hasIllegalUrlBytes(given), given != expected) << given;
  }
}

TEST(HttpTextTest, EscapingTwiceChangesNothing) {
  const std::string once = escapeIllegalUrlBytes("a b/%zz/%41");
  EXPECT_EQ(escapeIllegalUrlBytes(once), once);
}

TEST(HttpTextTest, LoggedUrlsKeepNoCredentialsOrQuery) {
  for (auto [url, shown] :
       {std::pair{"http://h/a/f.bin?access_token=s3cret", "http://h/a/f.bin"},
        std::pair{"https://u:pw@h:8/f#sig=s3cret", "https://h:8/f"}, std::pair{"h/f?t=1", "h/f"},
        std::pair{"http://h/a@b/f", "http://h/a@b/f"}}) {
    EXPECT_EQ(loggableUrl(url), shown);
  }
}

TEST(HttpTextTest, HeaderTextWithLineBreaksOrNulIsUnsafe) {
  EXPECT_TRUE(isSafeHeaderName("X-Request-Id"));
  EXPECT_TRUE(isSafeHeaderValue(""));
  EXPECT_TRUE(isSafeHeaderValue("a value: with colon"));
  EXPECT_FALSE(isSafeHeaderName(""));
  EXPECT_FALSE(isSafeHeaderName("X\rY"));
  EXPECT_FALSE(isSafeHeaderValue("a\nb"));
  EXPECT_FALSE(isSafeHeaderValue(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace gde
