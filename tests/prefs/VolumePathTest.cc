#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "prefs/VolumePath.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

// A fixture mount table over real folders of a private tree: a volume whose name holds a space,
// one nested in it, and a bind mount.
TEST(VolumePath, TheLongestMountPointHoldingTheNearestExistingFolderWins) {
  TemporaryFolder root;
  for (const char* folder : {"with space", "with space/inner", "with space/inner/deep",
                             "with spaceX", "bind", "bind/a"}) {
    ASSERT_EQ(mkdir((root / folder).c_str(), 0700), 0) << folder;
  }
  ASSERT_EQ(symlink((root / "with space/inner").c_str(), (root / "link").c_str()), 0);
  std::string escaped;
  for (char c : root.path()) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
  writeFile(root / "mountinfo",
            "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
            "40 27 0:50 / " +
                escaped +
                "/with\\040space rw shared:1 - tmpfs tmpfs rw\n"
                "41 40 0:51 / " +
                escaped +
                "/with\\040space/inner rw - tmpfs tmpfs rw\n"
                "42 27 254:0 /srv/data " +
                escaped + "/bind rw master:2 - ext4 /dev/vda rw\n");
  writeFile(root / "only-nested", "40 27 0:50 / /elsewhere rw - tmpfs tmpfs rw\n");
  struct Case {
    std::string path;
    std::optional<std::string> volume;
    const char* table = "mountinfo";
  } cases[] = {
      {root / "with space", root / "with space"},
      {root / "with space/missing/deeper", root / "with space"},
      {root / "with space/inner/deep/", root / "with space/inner"},
      {root / "with space/inner/../inner/deep", root / "with space/inner"},
      {root / "with spaceX/file", "/"},
      {root / "bind/a/b/c", root / "bind"},
      {root / "link/deep", root / "with space/inner"},
      {"/", "/"},
      {"", std::nullopt},
      {"relative/path", std::nullopt},
      {root / "with space", std::nullopt, "no-mountinfo"},
      {root / "with space", std::nullopt, "only-nested"},
  };
  for (const Case& c : cases) {
    std::string volume = "unchanged";
    EXPECT_EQ(util_getVolumePath(c.path, volume, platform::MountInfoFile(root / c.table)),
              c.volume.has_value())
        << c.path;
    EXPECT_EQ(volume, c.volume.value_or("unchanged")) << c.path;
  }
}

TEST(VolumePath, ThisProcessesOwnMounts) {
  std::string volume;
  ASSERT_TRUE(util_getVolumePath("/proc/self", volume));
  EXPECT_EQ(volume, "/proc");
  ASSERT_TRUE(util_getVolumePath("/no/such/folder/anywhere", volume));
  EXPECT_EQ(volume, "/");
}

}  // namespace
