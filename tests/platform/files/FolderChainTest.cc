#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/files/FolderChain.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

mode_t modeOf(const std::string& path) {
  return statOf(path).st_mode & 07777;
}

// Given an owner, the exact mode; without one, the mode as the umask allows.
TEST(FolderChain, CreatesEveryMissingFolderWithItsModeForTheGivenUser) {
  TemporaryFolder tree;
  const uid_t user = geteuid() == 0 ? otherUser() : getuid();  // only root may give folders away
  ASSERT_TRUE(platform::createFoldersFor(tree.path(), "a/b/c", user, getgid(), 0750));
  for (const char* path : {"a", "a/b", "a/b/c"}) {
    EXPECT_EQ(modeOf(tree / path), 0750u) << path;
    EXPECT_EQ(statOf(tree / path).st_uid, user) << path;
  }
  mode_t old = umask(027);
  bool made = platform::createFolders(tree.path(), "p/q", 0777);
  umask(old);
  ASSERT_TRUE(made);
  EXPECT_EQ(modeOf(tree / "p/q"), 0750u);
}

TEST(FolderChain, BadComponentsAndPlantedLinksFail) {
  TemporaryFolder tree;
  TemporaryFolder elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (tree / "link").c_str()), 0);
  for (const char* chain : {"a//b", "a/./b", "a/../b", "link/inside"}) {
    EXPECT_FALSE(platform::createFoldersFor(tree.path(), chain, getuid(), getgid(), 0700)) << chain;
    EXPECT_FALSE(platform::createFolders(tree.path(), chain, 0700)) << chain;
  }
  EXPECT_FALSE(existsNoFollow(elsewhere / "inside"));
  EXPECT_FALSE(platform::createFolders(tree / "missing", "a", 0700)) << "a missing base";
}

TEST(FolderChain, OpensOnlyARealChainAndNamesItsEntriesThroughIt) {
  TemporaryFolder tree;
  TemporaryFolder elsewhere;
  ASSERT_TRUE(platform::createFolders(tree.path(), "a/b", 0700));
  writeFile(tree / "a/b/file", "in b");
  platform::UniqueFd folder = platform::openFolderChain(tree.path(), "a/b");
  ASSERT_TRUE(folder.valid());
  // Once open, the folder is reached even when a link takes its old place.
  ASSERT_EQ(rename((tree / "a").c_str(), (tree / "moved").c_str()), 0);
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (tree / "a").c_str()), 0);
  EXPECT_EQ(readFile(platform::pathInOpenFolder(folder.get(), "file")), "in b");
  for (const char* chain : {"a/b", "moved/missing", "moved/b/file", "moved/../moved"}) {
    EXPECT_FALSE(platform::openFolderChain(tree.path(), chain).valid()) << chain;
  }
}

}  // namespace
