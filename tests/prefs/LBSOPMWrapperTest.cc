#include <gtest/gtest.h>

#include <string>

#include "prefs/LBSOPMWrapper.h"
#include "tests/prefs/support/PrefsEnvironment.h"

using namespace wendtest;

namespace {

class LBSOPMWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!hostHasMachineId()) GTEST_SKIP() << "this host has no machine id";
  }
  PrefsEnvironment env_;
};

TEST_F(LBSOPMWrapperTest, ProxyCredentialsSurviveTheWrapperAndNeverReachTheLog) {
  const std::string user = "corp\\o'hara", password = "p@ss \"w\xc3\xb6rd\" 42";
  // Every level on, so nothing is kept out of the file merely by its level.
  std::string logs;
  ASSERT_TRUE(platform::consoleUserLogsFolder(logs));
  writeFile(logs + "/ulex.trace", "");
  {
    LBSOPMWrapper wrapper;
    ASSERT_EQ(wrapper.init(), OPM_OK);
    std::string readUser = "unchanged", readPassword = "unchanged";
    EXPECT_EQ(wrapper.readProxyCredentials(readUser, readPassword), OPM_NOT_FOUND);
    EXPECT_EQ(readUser, "unchanged");
    ASSERT_EQ(wrapper.saveProxyCredentials(user, password), OPM_OK);
    EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);
  }
  LBSOPMWrapper wrapper;
  ASSERT_EQ(wrapper.init(), OPM_OK);
  std::string readUser, readPassword;
  ASSERT_EQ(wrapper.readProxyCredentials(readUser, readPassword), OPM_OK);
  EXPECT_EQ(readUser, user);
  EXPECT_EQ(readPassword, password);
  EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);

  std::string log = readFile(env_.logPath());
  EXPECT_NE(log.find("ProxyPassword"), std::string::npos) << "the log names what it stored";
  EXPECT_EQ(log.find("o'hara"), std::string::npos);
  EXPECT_EQ(log.find("p@ss"), std::string::npos);
  EXPECT_EQ(readFile(env_.databasePath()).find("p@ss"), std::string::npos);
}

TEST_F(LBSOPMWrapperTest, BeforeInitAndAfterFreeEveryCallIsAnArgumentError) {
  LBSOPMWrapper wrapper;
  std::string user, password;
  EXPECT_EQ(wrapper.readProxyCredentials(user, password), OPM_ARGUMENTS);
  EXPECT_EQ(wrapper.saveProxyCredentials("u", "p"), OPM_ARGUMENTS);
  ASSERT_EQ(wrapper.init(), OPM_OK);
  EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);
  EXPECT_EQ(wrapper.saveProxyCredentials("u", "p"), OPM_ARGUMENTS);
  EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);
}

}  // namespace
