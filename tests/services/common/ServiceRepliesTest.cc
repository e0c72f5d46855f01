#include "services/common/ServiceReplies.h"

#include <gtest/gtest.h>

namespace {

TEST(ServiceRepliesTest, TheUserGuidIsTheIdBeforeItsLastAt) {
  std::string profile;
  std::string guid;
  ASSERT_TRUE(readUserProfile(R"({"userId":"A@B@Skyloom","name":"Ann"})", profile, guid));
  EXPECT_EQ(guid, "A@B");
  EXPECT_NE(profile.find("\"name\":\"Ann\""), std::string::npos);
}

TEST(ServiceRepliesTest, AProfileWhoseIdIsNotUtf8IsRefused) {
  std::string profile = "kept";
  std::string guid = "kept";
  EXPECT_FALSE(readUserProfile("{\"userId\":\"AB\xff\xff@Skyloom\"}", profile, guid));
  EXPECT_FALSE(readUserProfile(R"({"userId":""})", profile, guid));
  EXPECT_EQ(profile, "kept");
  EXPECT_EQ(guid, "kept");
}

}  // namespace
