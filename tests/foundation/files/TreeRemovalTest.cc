#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "foundation/files/TreeRemoval.h"
#include "tests/platform/support/TestTree.h"

namespace {

TEST(TreeRemoval, RemovesAWholeTree) {
  TempFolder tree;
  std::filesystem::create_directories(tree / "top/a/b/c");
  writeTextFile(tree / "top/a/file", "x");
  writeTextFile(tree / "top/a/b/c/deep", "y");
  chmod((tree / "top/a/b").c_str(), 0500);  // read-only folders are emptied all the same
  int error = 0;
  ASSERT_TRUE(files::removeItem(tree / "top", error)) << error;
  EXPECT_FALSE(existsNoFollow(tree / "top"));
}

TEST(TreeRemoval, LinksAreRemovedNeverFollowed) {
  TempFolder tree;
  TempFolder outside;
  writeTextFile(outside / "precious", "keep me");
  std::filesystem::create_directories(tree / "top");
  ASSERT_EQ(symlink(outside.path().c_str(), (tree / "top/into-outside").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), (tree / "link-at-top").c_str()), 0);
  int error = 0;
  ASSERT_TRUE(files::removeItem(tree / "top", error));
  ASSERT_TRUE(files::removeItem(tree / "link-at-top/", error));  // a trailing "/" changes nothing
  EXPECT_FALSE(existsNoFollow(tree / "link-at-top"));
  EXPECT_EQ(readTextFile(outside / "precious"), "keep me");
}

TEST(TreeRemoval, FailuresReportTheirErrno) {
  TempFolder tree;
  int error = 0;
  EXPECT_FALSE(files::removeItem(tree / "missing", error));
  EXPECT_EQ(error, ENOENT);
  for (const std::string& path : {std::string("/"), tree / ".", tree / ".."}) {
    EXPECT_FALSE(files::removeItem(path, error)) << path;
    EXPECT_EQ(error, EINVAL);
  }
  EXPECT_TRUE(isFolder(tree.path()));
}

}  // namespace
