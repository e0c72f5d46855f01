#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/context/PrivateFolder.h"
#include "tests/support/TemporaryFolder.h"

namespace {

TEST(PrivateFolder, APlantedNameIsRefusedAndLeftAlone) {
  wendtest::TemporaryFolder parent;
  const std::string elsewhere = parent / "elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0751), 0);
  ASSERT_EQ(mkdir((parent / "folder").c_str(), 0777), 0);
  wendtest::writeFile(parent / "file", "x");
  ASSERT_EQ(symlink(elsewhere.c_str(), (parent / "link").c_str()), 0);
  ASSERT_EQ(symlink((elsewhere + "/missing").c_str(), (parent / "dangling").c_str()), 0);
  for (const char* name : {"folder", "file", "link", "dangling"}) {
    std::string made = "untouched";
    EXPECT_FALSE(makePrivateFolder(parent.path(), name, made)) << name;
    EXPECT_EQ(made, "untouched");
  }
  EXPECT_FALSE(wendtest::existsNoFollow(elsewhere + "/missing"));
}

TEST(PrivateFolder, NamesThatLeaveTheParentAreRefused) {
  wendtest::TemporaryFolder parent;
  std::string made;
  for (const char* name : {"", ".", "..", "a/b", "../x"}) {
    EXPECT_FALSE(makePrivateFolder(parent.path(), name, made)) << name;
  }
  EXPECT_FALSE(makePrivateFolder(parent / "missing", "run", made));
}

}  // namespace
