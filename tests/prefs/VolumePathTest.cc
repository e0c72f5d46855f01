#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "prefs/VolumePath.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

// A fixture mount table over real folders of a private tree: a volume whose name holds a space,
// one nested in it, and a bind mount.
class VolumePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"with space", "with space/inner", "with space/inner/deep",
                               "with spaceX", "bind", "bind/a"}) {
      ASSERT_EQ(mkdir((root_ / folder).c_str(), 0700), 0) << folder;
    }
    ASSERT_EQ(symlink((root_ / "with space/inner").c_str(), (root_ / "link").c_str()), 0);
    std::string escaped = escapedRoot();
    writeFile(root_ / "mountinfo",
              "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
              "40 27 0:50 / " +
                  escaped +
                  "/with\\040space rw shared:1 - tmpfs tmpfs rw\n"
                  "41 40 0:51 / " +
                  escaped +
                  "/with\\040space/inner rw - tmpfs tmpfs rw\n"
                  "42 27 254:0 /srv/data " +
                  escaped + "/bind rw master:2 - ext4 /dev/vda rw\n");
  }

  std::string escapedRoot() const {
    std::string escaped;
    for (char c : root_.path()) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    return escaped;
  }

  TemporaryFolder root_;
};

TEST_F(VolumePathTest, TheLongestMountPointHoldingTheNearestExistingFolderWins) {
  platform::MountInfoFile table(root_ / "mountinfo");
  struct Case {
    std::string path;
    std::string volume;
  } cases[] = {
      {root_ / "with space", root_ / "with space"},
      {root_ / "with space/missing/deeper", root_ / "with space"},
      {root_ / "with space/inner", root_ / "with space/inner"},
      {root_ / "with space/inner/deep/", root_ / "with space/inner"},
      {root_ / "with space/inner/../inner/deep", root_ / "with space/inner"},
      {root_ / "with spaceX/file", "/"},
      {root_ / "bind/a/b/c", root_ / "bind"},
      {root_ / "link/deep", root_ / "with space/inner"},
      {"/", "/"},
  };
  for (const Case& c : cases) {
    std::string volume = "unchanged";
    EXPECT_TRUE(util_getVolumePath(c.path, volume, table)) << c.path;
    EXPECT_EQ(volume, c.volume) << c.path;
  }
}

TEST_F(VolumePathTest, EmptyAndRelativePathsAndUnreadableTablesHaveNoVolume) {
  platform::MountInfoFile table(root_ / "mountinfo");
  platform::MountInfoFile missing(root_ / "no-mountinfo");
  writeFile(root_ / "only-nested", "40 27 0:50 / /elsewhere rw - tmpfs tmpfs rw\n");
  platform::MountInfoFile withoutRoot(root_ / "only-nested");
  std::string volume = "unchanged";
  EXPECT_FALSE(util_getVolumePath("", volume, table));
  EXPECT_FALSE(util_getVolumePath("relative/path", volume, table));
  EXPECT_FALSE(util_getVolumePath(root_ / "with space", volume, missing));
  EXPECT_FALSE(util_getVolumePath(root_ / "with space", volume, withoutRoot));
  EXPECT_EQ(volume, "unchanged");
}

TEST(VolumePath, ThisProcessesOwnMounts) {
  std::string volume;
  ASSERT_TRUE(util_getVolumePath("/proc/self", volume));
  EXPECT_EQ(volume, "/proc");
  ASSERT_TRUE(util_getVolumePath("/no/such/folder/anywhere", volume));
  EXPECT_EQ(volume, "/");
}

}  // namespace
