#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/system/ConsoleUser.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

TEST(WendRoot, TrailingSlashesAreDroppedAndSlashAloneIsNoRoot) {
  struct Case {
    const char* value;
    const char* root;
  } cases[] = {{"/srv/tree", "/srv/tree"}, {"/srv/tree//", "/srv/tree"}, {"/", ""}, {"", ""}};
  for (const Case& c : cases) {
    ScopedEnv root("WEND_ROOT", c.value);
    EXPECT_EQ(platform::wendRoot(), c.root);
    EXPECT_EQ(platform::underRoot("/tmp"), std::string(c.root) + "/tmp");
  }
  ScopedEnv unset("WEND_ROOT", std::nullopt);
  EXPECT_EQ(platform::underRoot("/tmp"), "/tmp");
}

TEST(ConsoleUserChoice, ExplicitUidFirstThenElevationVariables) {
  if (geteuid() != 0) GTEST_SKIP() << "the elevation variables count only for root";
  const std::string other = std::to_string(otherUser());
  struct Case {
    std::optional<std::string> console, pkexec, sudo;
  } cases[] = {{other, std::nullopt, "0"}, {std::nullopt, other, "0"}, {std::nullopt, "x", other}};
  for (const Case& c : cases) {
    ScopedEnv console("WEND_CONSOLE_UID", c.console);
    ScopedEnv pkexec("PKEXEC_UID", c.pkexec);
    ScopedEnv sudo("SUDO_UID", c.sudo);
    platform::ConsoleUser user;
    ASSERT_TRUE(platform::findConsoleUser(user));
    EXPECT_EQ(user.uid, otherUser());
  }
}

TEST(ConsoleUserChoice, UidWithoutUserEntryIsNoConsoleUser) {
  ScopedEnv console("WEND_CONSOLE_UID", std::to_string(kUnknownUid));
  platform::ConsoleUser user;
  user.home = "kept";
  EXPECT_FALSE(platform::findConsoleUser(user));
  EXPECT_EQ(user.home, "kept");
}

class ConsoleUserFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::findUser(otherUser(), user_));
    ASSERT_NE(user_.home, "/");
  }
  std::string home() const { return tree_.path() + user_.home; }

  TemporaryFolder tree_;
  ScopedEnv root_{"WEND_ROOT", tree_.path()};
  ScopedEnv console_{"WEND_CONSOLE_UID", std::to_string(otherUser())};
  ScopedEnv state_{"XDG_STATE_HOME", "/elsewhere"};
  platform::ConsoleUser user_;
};

TEST_F(ConsoleUserFolders, LinkPlantedBelowTheHomeIsNotFollowed) {
  TemporaryFolder target;
  ASSERT_TRUE(platform::createFoldersFor(tree_.path(), user_.home.substr(1), 0, 0, 0755));
  ASSERT_EQ(symlink(target.path().c_str(), (home() + "/.local").c_str()), 0);
  std::string folder = "kept";
  EXPECT_FALSE(platform::consoleUserLogsFolder(folder));
  EXPECT_EQ(folder, "kept");
  EXPECT_FALSE(existsNoFollow(target / "state"));
}

TEST_F(ConsoleUserFolders, ExistingFoldersKeepTheirOwnerAndMode) {
  ASSERT_TRUE(
      platform::createFoldersFor(tree_.path(), user_.home.substr(1) + "/Documents", 0, 0, 0751));
  std::string folder;
  ASSERT_TRUE(platform::consoleUserFolder(nullptr, "Documents", folder));
  EXPECT_EQ(statOf(folder).st_mode & 07777, 0751u);
  EXPECT_EQ(statOf(folder).st_uid, geteuid());
}

}  // namespace
