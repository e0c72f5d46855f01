#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/FolderChain.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

mode_t modeOf(const std::string& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(FolderChain, CreatesEveryMissingFolderWithTheExactMode) {
  TemporaryFolder tree;
  ASSERT_TRUE(platform::createFoldersFor(tree.path(), "a/b/c", getuid(), getgid(), 0750));
  for (const char* path : {"a", "a/b", "a/b/c"}) EXPECT_EQ(modeOf(tree / path), 0750u) << path;
}

TEST(FolderChain, NewFoldersBelongToTheGivenUserWhenRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give folders away";
  TemporaryFolder tree;
  ASSERT_TRUE(platform::createFoldersFor(tree.path(), "x/y", otherUser(), otherUser(), 0700));
  struct stat info {};
  ASSERT_EQ(lstat((tree / "x/y").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, otherUser());
}

TEST(FolderChain, DefaultOwnerFoldersFollowTheUmask) {
  TemporaryFolder tree;
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
}

TEST(FolderChain, MissingBaseFails) {
  TemporaryFolder tree;
  EXPECT_FALSE(platform::createFolders(tree / "missing", "a", 0700));
}

}  // namespace
