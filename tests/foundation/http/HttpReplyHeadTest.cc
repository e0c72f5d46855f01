#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/http/HttpReplyHead.h"

namespace http {
namespace {

HttpReplyHead headOf(const std::vector<std::string>& lines) {
  HttpReplyHead head;
  for (const std::string& line : lines) head.addLine(line);
  return head;
}

// Only the last reply's head counts: an interim 100 or a proxy's answer before it is dropped.
TEST(HttpReplyHeadTest, TheLastStatusLineStartsAFreshHead) {
  const HttpReplyHead head =
      headOf({"HTTP/1.1 100 Continue\r\n", "X-Old: 1\r\n", "\r\n", "HTTP/1.1 404 Not Found\r\n",
              "Content-Type: a\r\n", "X-Long: one\r\n", "\t two  \r\n", "\r\n"});
  EXPECT_EQ(head.status(), 404);
  EXPECT_TRUE(head.complete());
  EXPECT_EQ(head.fields(), (std::vector<std::pair<std::string, std::string>>{
                               {"Content-Type", "a"}, {"X-Long", "one two"}}));
  for (const char* bad : {"HTTP/1.1 20 OK", "HTTP/1.1", "HTTP/1.1 2x0 OK"}) {
    EXPECT_FALSE(headOf({bad}).hasStatus()) << bad;
  }
  EXPECT_FALSE(headOf({"HTTP/1.1 200 OK\r\n", "A: b\r\n"}).complete());
}

TEST(HttpReplyHeadTest, ChallengesOfferTheSchemesTheyName) {
  struct Case {
    std::vector<std::string> fields;
    bool challenged;
    unsigned schemes;
  };
  const unsigned kBoth = kAuthDigest | kAuthBasic, kWindows = kAuthNtlm | kAuthNegotiate;
  const Case cases[] = {
      {{"Proxy-Authenticate: Basic realm=\"p\""}, true, kAuthBasic},
      {{"proxy-authenticate: Digest realm=\"a, b\", nonce=\"x\", Basic realm=\"p\""}, true, kBoth},
      {{"Proxy-Authenticate: NTLM", "Proxy-Authenticate: Negotiate"}, true, kWindows},
      {{"Proxy-Authenticate: Bearer realm=\"x\""}, true, kAuthNone},
      {{"Proxy-Authenticate: "}, true, kAuthNone},
      {{"WWW-Authenticate: Basic realm=\"s\""}, false, kAuthNone},
  };
  for (const Case& c : cases) {
    HttpReplyHead head;
    head.addLine("HTTP/1.1 407 Proxy Authentication Required");
    for (const std::string& field : c.fields) head.addLine(field);
    bool challenged = !c.challenged;
    EXPECT_EQ(head.offeredSchemes("Proxy-Authenticate", challenged), c.schemes) << c.fields[0];
    EXPECT_EQ(challenged, c.challenged) << c.fields[0];
  }
}

}  // namespace
}  // namespace http
