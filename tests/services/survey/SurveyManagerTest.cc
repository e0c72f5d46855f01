#include <gtest/gtest.h>

#include <string>

#include "services/common/ReplyJson.h"
#include "tests/services/support/ServicesFixture.h"

namespace wendtest {
namespace {

constexpr char kContextPath[] = "/orvel-ffc-external/core/v2/context";

struct ContextCase {
  const char* name;
  int status;
  std::string reply;
  int expected;
};

class SurveyContextTest : public ServicesTest, public ::testing::WithParamInterface<ContextCase> {};

TEST_P(SurveyContextTest, OnlyASurveyObjectShowsTheSurvey) {
  const ContextCase& context = GetParam();
  startContext({"--locale=de_DE"});
  server_.addBody(kContextPath, context.reply);
  if (context.status != 200) answerWith(kContextPath, context.status);
  EXPECT_EQ(survey().fetchSurveyContext(), context.expected);
  const auto requests = server_.requestsFor(kContextPath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method(), "GET");
  EXPECT_EQ(requests[0].request.target, std::string(kContextPath) + "?sapCode=KVRQ&locale=de_DE");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SurveyContextTest,
    ::testing::Values(ContextCase{"Survey", 200, "{\"survey\":{\"id\":\"s1\"}}", 0},
                      ContextCase{"NoSurveyMember", 200, "{\"context\":{}}", 2},
                      ContextCase{"SurveyNotAnObject", 200, "{\"survey\":\"s1\"}", 2},
                      ContextCase{"NotJson", 200, "survey", 2},
                      ContextCase{"ServerError", 500, "{\"survey\":{}}", 2},
                      ContextCase{"OverOneMebibyte", 200,
                                  "{\"survey\":{},\"pad\":\"" + std::string(1 << 20, 'x') + "\"}",
                                  2}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ServicesTest, WithoutTheServiceThereIsNoSurvey) {
  startContext();
  server_.stop();
  EXPECT_EQ(survey().fetchSurveyContext(), 2);
}

TEST_F(ServicesTest, TheBeaconCarriesTheCampaignAndThePage) {
  startContext();
  server_.addBody("/beacon/v1", "");
  survey().sendPageViewBeacon(true);
  const auto requests = server_.requestsFor("/beacon/v1");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method(), "GET");
  EXPECT_EQ(requests[0].request.target,
            "/beacon/v1?mid=M-1&aid=A-2&TallyVersion=7&page=Survey-Screen&onLoad=true");
}

TEST_F(ServicesTest, TheResultsArePostedAsJson) {
  startContext({"--locale=en_GB"});
  server_.addBody(kContextPath, "{}");
  survey().setAnswers({"expert", "designer \"lead\"", "work"});
  survey().sendSurveyResults();
  const auto requests = server_.requestsFor(kContextPath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method(), "POST");
  EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
  Json::Value results;
  ASSERT_TRUE(parseReplyObject(requests[0].body(), results));
  EXPECT_EQ(stringMember(results, "sapCode"), "KVRQ");
  EXPECT_EQ(stringMember(results, "locale"), "en_GB");
  const Json::Value* answers = objectMember(results, "survey");
  ASSERT_NE(answers, nullptr);
  EXPECT_EQ(stringMember(*answers, "version"), "1.0");
  EXPECT_EQ(stringMember(*answers, "skill"), "expert");
  EXPECT_EQ(stringMember(*answers, "job"), "designer \"lead\"");
  EXPECT_EQ(stringMember(*answers, "purpose"), "work");
}

// The survey screen's answers reach the results; empty data keeps what was there.
TEST_F(ServicesTest, SurveyDataFillsTheAnswersAndEmptyDataKeepsThem) {
  startContext({});
  server_.addBody(kContextPath, "{}");
  survey().setAnswers({"old", "old", "old"});
  survey().loadSurveyData("");
  survey().loadSurveyData("{\"job\":\"artist\",\"purpose\":\"fun\",\"skill\":\"new\"}");
  survey().loadSurveyData("");
  survey().sendSurveyResults();
  const auto requests = server_.requestsFor(kContextPath);
  ASSERT_EQ(requests.size(), 1u);
  Json::Value results;
  ASSERT_TRUE(parseReplyObject(requests[0].body(), results));
  const Json::Value* answers = objectMember(results, "survey");
  ASSERT_NE(answers, nullptr);
  EXPECT_EQ(stringMember(*answers, "skill"), "new");
  EXPECT_EQ(stringMember(*answers, "job"), "artist");
  EXPECT_EQ(stringMember(*answers, "purpose"), "fun");
}

}  // namespace
}  // namespace wendtest
