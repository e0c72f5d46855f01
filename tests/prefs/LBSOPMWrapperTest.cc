#include <gtest/gtest.h>

#include <string>

#include "prefs/LBSOPMWrapper.h"
#include "tests/prefs/support/PrefsEnvironment.h"

using namespace wendtest;

namespace {

TEST(LBSOPMWrapperTest, ProxyCredentialsSurviveTheWrapperAndNeverReachTheLog) {
  if (!hostHasMachineId()) GTEST_SKIP() << "this host has no machine id";
  PrefsEnvironment env;
  const std::string user = "corp\\o'hara", password = "p@ss \"w\xc3\xb6rd\" 42";
  // Every level on, so nothing is kept out of the file merely by its level.
  std::string logs;
  ASSERT_TRUE(platform::consoleUserLogsFolder(logs));
  writeFile(logs + "/ulex.trace", "");
  std::string readUser = "unchanged", readPassword;
  {
    LBSOPMWrapper wrapper;
    EXPECT_EQ(wrapper.readProxyCredentials(readUser, readPassword), OPM_ARGUMENTS);  // before init
    ASSERT_EQ(wrapper.init(), OPM_OK);
    EXPECT_EQ(wrapper.readProxyCredentials(readUser, readPassword), OPM_NOT_FOUND);
    EXPECT_EQ(readUser, "unchanged");
    ASSERT_EQ(wrapper.saveProxyCredentials(user, password), OPM_OK);
    EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);
    EXPECT_EQ(wrapper.saveProxyCredentials("u", "p"), OPM_ARGUMENTS);  // after free
    EXPECT_EQ(wrapper.OPMFreeLibRef(), OPM_OK);
  }
  LBSOPMWrapper wrapper;
  ASSERT_EQ(wrapper.init(), OPM_OK);
  ASSERT_EQ(wrapper.readProxyCredentials(readUser, readPassword), OPM_OK);
  EXPECT_EQ(readUser, user);
  EXPECT_EQ(readPassword, password);

  const std::string log = readFile(env.logPath());
  EXPECT_NE(log.find("ProxyPassword"), std::string::npos) << "the log names what it stored";
  EXPECT_EQ(log.find("o'hara"), std::string::npos);
  EXPECT_EQ(log.find("p@ss"), std::string::npos);
  EXPECT_EQ(readFile(env.databasePath()).find("p@ss"), std::string::npos);
}

}  // namespace
