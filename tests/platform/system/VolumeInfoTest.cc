#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "platform/system/VolumeInfo.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

class VolumeInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"media/Stick/dir", "share/a", "overlay", "sshfs", "plain/x"}) {
      std::filesystem::create_directories(root_ / folder);
    }
    std::filesystem::create_directory_symlink(root_ / "share", root_ / "link");
    const std::string& t = root_.path();
    writeFile(root_ / "mountinfo",
              "1 0 254:0 / / rw - ext4 /dev/vda rw\n"
              "2 1 0:61 / " +
                  t +
                  "/media rw - tmpfs tmpfs rw\n"
                  "3 2 8:17 / " +
                  t +
                  "/media/Stick rw - vfat /dev/sdb1 rw\n"
                  "4 1 0:62 / " +
                  t +
                  "/share rw - nfs4 server:/export rw\n"
                  "5 1 0:63 / " +
                  t +
                  "/overlay rw - overlay overlay rw\n"
                  "6 1 0:64 / " +
                  t +
                  "/sshfs rw - fuse.sshfs someone@host: rw\n"
                  "7 1 0:65 / " +
                  t + "/share rw - cifs //server/share rw\n");
    probe_.mounts = &table_;
    probe_.sysfsRoot = root_ / "sys";
    probe_.volumesRoot = root_ / "media";
  }

  // The fake sysfs folder of the block device that holds our temporary folder.
  std::string deviceFolder() {
    dev_t device = statOf(root_.path()).st_dev;
    std::string folder = root_ / ("sys/dev/block/" + std::to_string(major(device)) + ":" +
                                  std::to_string(minor(device)));
    std::filesystem::create_directories(folder);
    return folder;
  }

  TemporaryFolder root_;
  platform::MountInfoFile table_{root_ / "mountinfo"};
  platform::VolumeProbe probe_;
};

TEST_F(VolumeInfoTest, TheHoldingMountDecidesTypeAndEjectability) {
  struct Row {
    const char* path;
    const char* mountPoint;
    const char* fsType;
    bool network, unmountable;
  } rows[] = {
      {"media/Stick/dir", "/media/Stick", "vfat", false, true},
      {"media", "/media", "tmpfs", false, false},  // the volumes root itself
      {"share/a", "/share", "cifs", true, false},  // the later of two mounts on one point
      {"link/a", "/share", "cifs", true, false},
      {"overlay", "/overlay", "overlay", false, false},  // sources like "overlay" are local
      {"sshfs", "/sshfs", "fuse.sshfs", true, false},
      {"plain/x/../x/", "", "ext4", false, false},
  };
  for (const Row& row : rows) {
    platform::VolumeInfo info;
    ASSERT_TRUE(platform::volumeInfo(root_ / row.path, info, probe_)) << row.path;
    std::string mountPoint = *row.mountPoint ? root_.path() + row.mountPoint : "/";
    EXPECT_EQ(info.mountPoint, mountPoint) << row.path;
    EXPECT_EQ(info.fsType, row.fsType) << row.path;
    EXPECT_EQ(info.network, row.network) << row.path;
    EXPECT_EQ(info.unmountable, row.unmountable) << row.path;
    EXPECT_TRUE(info.statsAvailable);
    EXPECT_FALSE(info.readOnly || info.removable || info.immutable) << row.path;
  }
  platform::VolumeInfo info;
  ASSERT_TRUE(platform::volumeInfo(root_ / "plain/x/../x/", info, probe_));
  EXPECT_EQ(info.path, root_ / "plain/x");
}

TEST_F(VolumeInfoTest, UnresolvableOrUnplacedPathsHaveNoVolume) {
  platform::VolumeInfo info;
  info.fsType = "kept";
  EXPECT_FALSE(platform::volumeInfo(root_ / "missing", info, probe_));
  EXPECT_FALSE(platform::volumeInfo("", info, probe_));
  platform::MountInfoFile unreadable(root_ / "no-table");
  probe_.mounts = &unreadable;
  EXPECT_FALSE(platform::volumeInfo(root_ / "plain", info, probe_));
  writeFile(root_ / "only-media", "2 1 0:61 / " + root_.path() + "/media rw - tmpfs tmpfs rw\n");
  platform::MountInfoFile partial(root_ / "only-media");
  probe_.mounts = &partial;
  EXPECT_FALSE(platform::volumeInfo(root_ / "plain", info, probe_));
  EXPECT_EQ(info.fsType, "kept");
}

TEST_F(VolumeInfoTest, BlockDeviceFlagsComeFromTheDeviceOrItsDisk) {
  std::string device = deviceFolder();
  writeFile(device + "/ro", "1\n");
  writeFile(device + "/removable", "0\n");
  platform::VolumeInfo info;
  ASSERT_TRUE(platform::volumeInfo(root_ / "plain", info, probe_));
  EXPECT_TRUE(info.readOnly);
  EXPECT_FALSE(info.removable);

  // A partition answers for its disk: the attribute one folder up.
  writeFile(device + "/ro", "0\n");
  writeFile(device + "/partition", "1\n");
  writeFile(device + "/../removable", "1\n");
  ASSERT_TRUE(platform::volumeInfo(root_ / "plain", info, probe_));
  EXPECT_FALSE(info.readOnly);
  EXPECT_TRUE(info.removable);
}

TEST(InsideFolder, WholeComponentsOnly) {
  struct Row {
    const char *path, *folder;
    bool inside;
  } rows[] = {
      {"/home/tester", "/home/tester", true},
      {"/home/tester/a/b", "/home/tester", true},
      {"/home/tester/", "/home/tester//", true},
      {"/home/tester2", "/home/tester", false},
      {"/home", "/home/tester", false},
      {"/anything", "/", true},
      {"relative", "/", false},
      {"/home/tester", "", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::isInsideFolder(row.path, row.folder), row.inside)
        << row.path << " in " << row.folder;
  }
}

}  // namespace
