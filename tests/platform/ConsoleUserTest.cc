#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/ConsoleUser.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

struct Owner {
  uid_t uid;
  mode_t mode;
};

Owner ownerOf(const std::string& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return {info.st_uid, info.st_mode & 07777};
}

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
  uid_t other = otherUser();
  platform::ConsoleUser user;
  {
    ScopedEnv console("WEND_CONSOLE_UID", std::to_string(other));
    ScopedEnv sudo("SUDO_UID", "0");
    ASSERT_TRUE(platform::findConsoleUser(user));
    EXPECT_EQ(user.uid, other);
  }
  {
    ScopedEnv console("WEND_CONSOLE_UID", std::nullopt);
    ScopedEnv pkexec("PKEXEC_UID", std::to_string(other));
    ScopedEnv sudo("SUDO_UID", "0");
    ASSERT_TRUE(platform::findConsoleUser(user));
    EXPECT_EQ(user.uid, other);
  }
  {
    ScopedEnv console("WEND_CONSOLE_UID", std::nullopt);
    ScopedEnv pkexec("PKEXEC_UID", "not a number");
    ScopedEnv sudo("SUDO_UID", std::to_string(other));
    ASSERT_TRUE(platform::findConsoleUser(user));
    EXPECT_EQ(user.uid, other);
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
  EXPECT_EQ(ownerOf(folder).mode, 0751u);
  EXPECT_EQ(ownerOf(folder).uid, geteuid());
}

}  // namespace
