#include <gtest/gtest.h>

#include <string>

#include "services/common/ReplyJson.h"
#include "services/common/ServiceCall.h"
#include "services/common/ServiceReplies.h"

namespace {

struct ReplyCase {
  const char* name;
  std::string text;
  bool object;
  const char* id;  // the string member "id" as read
  bool hasInner;   // "inner" reads as an object
};

class ReplyJsonTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyJsonTest, WrongTypesReadAsAbsent) {
  const ReplyCase& reply = GetParam();
  Json::Value object;
  EXPECT_EQ(parseReplyObject(reply.text, object), reply.object);
  EXPECT_EQ(stringMember(object, "id"), reply.id);
  EXPECT_EQ(objectMember(object, "inner") != nullptr, reply.hasInner);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyJsonTest,
    ::testing::Values(ReplyCase{"Members", R"({"ID":"a","inner":{}})", true, "a", true},
                      ReplyCase{"WrongTypes", R"({"id":5,"inner":[]})", true, "", false},
                      ReplyCase{"RootArray", R"([{"id":"a"}])", false, "", false},
                      ReplyCase{"Broken", R"({"id":"a")", false, "", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PercentEncodedTest, LeavesOnlyUnreservedCharacters) {
  EXPECT_EQ(percentEncoded("aZ09-_.~"), "aZ09-_.~");
  EXPECT_EQ(percentEncoded("a b&c=d%41/é"), "a%20b%26c%3Dd%2541%2F%C3%A9");
  EXPECT_EQ(formText({{"x", "1 2"}, {"y", ""}}), "x=1%202&y=");
}

TEST(ServiceRepliesTest, TheUserGuidIsTheIdBeforeItsLastAtAndAnIdNotUtf8IsRefused) {
  std::string profile, guid;
  ASSERT_TRUE(readUserProfile(R"({"userId":"A@B@Skyloom","name":"Ann"})", profile, guid));
  EXPECT_EQ(guid, "A@B");
  EXPECT_NE(profile.find("\"name\":\"Ann\""), std::string::npos);
  const std::string kept = profile;
  for (const char* reply : {"{\"userId\":\"AB\xff\xff@Skyloom\"}", R"({"userId":""})"}) {
    EXPECT_FALSE(readUserProfile(reply, profile, guid)) << reply;
    EXPECT_EQ(profile, kept);
    EXPECT_EQ(guid, "A@B");
  }
}

TEST(ServiceRepliesTest, TokensAndJumpUrlsAreWholeTextOrRefused) {
  using Reader = bool (*)(const std::string&, std::string&);
  const struct {
    Reader read;
    const char* name;
  } readers[] = {{readAccessToken, "access_token"}, {readJumpUrl, "jump"}};
  for (const auto& reader : readers) {
    const std::string head = std::string("{\"") + reader.name + "\":\"";
    std::string text = "unchanged";
    EXPECT_TRUE(reader.read(head + "a\\u00e9z\"}", text)) << reader.name;
    EXPECT_EQ(text, "a\xC3\xA9z");
    for (const char* value : {"ab\\u0000cd", "ab\xff", "a\\r\\nX-Forged: 1", "a\\u007f", ""}) {
      text = "unchanged";
      EXPECT_FALSE(reader.read(head + value + "\"}", text)) << reader.name << " " << value;
      EXPECT_EQ(text, "unchanged");
    }
  }
}

}  // namespace
