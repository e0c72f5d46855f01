#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "core/install/InstallLocation.h"
#include "platform/UniqueFd.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

class InstallLocationTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder :
         {"media/Stick/dir", "media/Disk/dir", "share/dir", "volume/dir", "home/tester/dir",
          "home/tester2/dir", "Tools.app", "ro", "overlay/dir"}) {
      std::filesystem::create_directories(root_ / folder);
    }
    writeFile(root_ / "file", "");
    std::string table = "1 0 254:0 / / rw - ext4 /dev/vda rw\n";
    int id = 2;
    for (const char* mount :
         {"8:17 /media/Stick rw - vfat /dev/sdb1", "0:62 /share rw - smb3 //server/share",
          "0:63 /volume rw - ext4 /dev/vdb", "0:64 /media/Disk rw - hfsplus /dev/sdc1",
          "0:65 /home rw - ext4 /dev/vdc", "0:66 /overlay rw - overlay overlay"}) {
      std::string line = mount;
      line.insert(line.find(' ') + 1, root_.path());
      table += std::to_string(id++) + " 1 " + line.insert(line.find(' '), " /") + " rw\n";
    }
    writeFile(root_ / "mountinfo", table);
    probe_.volumes.mounts = &table_;
    probe_.volumes.sysfsRoot = root_ / "sys";
    probe_.volumes.volumesRoot = root_ / "media";
    probe_.homeFolder = root_ / "home/tester";
    probe_.isVolumeCaseSensitive = [this](const std::string& volume) {
      return volume == root_ / "volume";
    };
  }

  std::string check(const std::string& relative) {
    std::string number = "unset";
    bool ok = isInstallableFile(root_ / relative, number, probe_);
    EXPECT_EQ(ok, number == "unset") << relative;
    return ok ? "ok" : number;
  }

  TemporaryFolder root_;
  platform::MountInfoFile table_{root_ / "mountinfo"};
  InstallLocationProbe probe_;
};

TEST_F(InstallLocationTest, EachFailingTestGivesItsNumber) {
  struct Row {
    const char* path;
    const char* result;
    const char* home = "home/tester";
  } rows[] = {
      {"volume", "5"},  // case-sensitive comes before the volume root
      {"home", "1"},
      {"media/Stick/dir", "3"},
      {"media/Disk/dir", "3"},
      {"share/dir", "4"},
      {"missing", "7"},
      {"file", "7"},
      {"Tools.app", "7"},
      {"media/Stick/../../file", "7"},
      {"home/tester/dir", "ok"},
      {"home/tester2/dir", "ok"},
      {"ro", "ok"},
      // Ejectable volumes pass inside the home folder only, not a sibling that begins like it.
      {"media/Stick/dir", "ok", "media/Stick"},
      {"media/Disk/dir", "3", "media/Stick"},
      {"media/Stick/dir", "3", "media/Sti"},
  };
  for (const Row& row : rows) {
    probe_.homeFolder = root_ / row.home;
    EXPECT_EQ(check(row.path), row.result) << row.path << " home " << row.home;
  }
}

// Network shares are known by their file-system type; a local mount whose source is no device
// path (an overlay) is not one.
TEST_F(InstallLocationTest, NetworkVolumesByType) {
  std::string table = readFile(root_ / "mountinfo");
  int id = 100;
  const char* types[] = {"nfs", "nfs4", "cifs", "smbfs", "afpfs", "fuse.sshfs"};
  for (const char* type : types) {
    std::filesystem::create_directories(root_ / (std::string("net/") + type + "/dir"));
    table += std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + root_.path() + "/net/" +
             type + " rw - " + type + " server:/share rw\n";
    ++id;
  }
  writeFile(root_ / "mountinfo", table);
  for (const char* type : types) {
    EXPECT_EQ(check(std::string("net/") + type + "/dir"), "4") << type;
  }
  EXPECT_EQ(check("overlay/dir"), "ok");
}

TEST_F(InstallLocationTest, ReadOnlyDeviceOutsideTheHomeFolder) {
  dev_t device = statOf(root_.path()).st_dev;
  std::string folder = root_ / ("sys/dev/block/" + std::to_string(major(device)) + ":" +
                                std::to_string(minor(device)));
  std::filesystem::create_directories(folder);
  writeFile(folder + "/ro", "1");
  EXPECT_EQ(check("ro"), "3");
  probe_.homeFolder = root_.path();
  EXPECT_EQ(check("ro"), "ok");
}

TEST_F(InstallLocationTest, NoVolumeKnown) {
  platform::MountInfoFile none(root_ / "no-table");
  probe_.volumes.mounts = &none;
  EXPECT_EQ(check("ro"), "3");
  EXPECT_EQ(check("home/tester/dir"), "7");
}

TEST_F(InstallLocationTest, LockedFolder) {
  std::string folder = root_ / "home/tester/dir";
  platform::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY));
  int flags = 0;
  if (ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) GTEST_SKIP() << "no inode flags here";
  int locked = flags | FS_IMMUTABLE_FL;
  if (ioctl(fd.get(), FS_IOC_SETFLAGS, &locked) != 0) GTEST_SKIP() << "cannot lock a folder";
  std::string result = check("home/tester/dir");
  ioctl(fd.get(), FS_IOC_SETFLAGS, &flags);
  EXPECT_EQ(result, "6");
}

TEST_F(InstallLocationTest, EmptyPathNeedsNoCheck) {
  std::string number = "unset";
  EXPECT_TRUE(validateInstallLocation("", number, probe_));
  EXPECT_FALSE(validateInstallLocation(root_ / "file", number, probe_));
  EXPECT_EQ(number, "7");
}

TEST_F(InstallLocationTest, ChooserShowsFoldersThatAreNoPackages) {
  for (auto [path, shown] : {std::pair{"ro", true},
                             {"ro/../home", true},
                             {"Tools.app", false},
                             {"file", false},
                             {"missing", false}}) {
    EXPECT_EQ(restrictFileOrPackage(root_ / path), shown) << path;
  }
  EXPECT_FALSE(restrictFileOrPackage(""));
}

TEST(InstallLocationSystem, RealVolumes) {
  wendtest::TemporaryFolder folder;
  std::filesystem::create_directory_symlink("/", folder / "to-root");
  InstallLocationProbe probe;
  probe.homeFolder = "/nonexistent-home";
  std::string number;
  EXPECT_TRUE(isInstallableFile(folder.path(), number, probe)) << number;
  EXPECT_FALSE(isInstallableFile("/", number, probe));
  EXPECT_EQ(number, "1");
  number.clear();
  EXPECT_FALSE(isInstallableFile(folder / "to-root", number, probe));
  EXPECT_EQ(number, "1");
  // A link to a package is still a package.
  std::filesystem::create_directory(folder / "x.app");
  std::filesystem::create_directory_symlink(folder / "x.app", folder / "plain");
  EXPECT_FALSE(isInstallableFile(folder / "plain", number, probe));
  EXPECT_EQ(number, "7");
  EXPECT_FALSE(isInstallableFile(folder / "x.app", number, probe));
  EXPECT_EQ(number, "7");
}

}  // namespace
