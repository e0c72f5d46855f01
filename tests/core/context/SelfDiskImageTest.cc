#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/context/SelfDiskImage.h"
#include "core/context/SystemVolumes.h"
#include "core/context/TreeComparison.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;

class FakeVolumes final : public IVolumeList {
 public:
  bool volumes(std::vector<MountedVolume>& out) const override {
    out = list;
    return listed;
  }
  std::vector<MountedVolume> list;
  bool listed = true;
};

class FakeImages final : public IDiskImageInfo {
 public:
  bool attachedImages(std::string& out) const override {
    ++calls;
    out = reply;
    return succeeded;
  }
  std::string reply;
  bool succeeded = true;
  mutable int calls = 0;
};

// One image per pair: its path and the volume its second entity is mounted at.
std::string infoReply(const std::vector<std::pair<std::string, std::string>>& images,
                      const char* key = "mount-point") {
  std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>images</key><array>";
  for (const auto& [image, volume] : images) {
    text += "<dict><key>image-path</key><string>" + image +
            "</string><key>system-entities</key><array>"
            "<dict><key>dev-entry</key><string>/dev/disk9</string></dict>"
            "<dict><key>" +
            std::string(key) + "</key><string>" + volume + "</string></dict></array></dict>";
  }
  return text + "</array></dict></plist>";
}

class SelfDiskImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "Volumes");
    makeApp(root_ / "Downloads/Install.app");
  }

  static void makeApp(const std::string& bundle) {
    fs::create_directories(bundle + "/Contents/MacOS");
    wendtest::writeFile(bundle + "/Contents/MacOS/Install", "program");
    fs::create_symlink("MacOS/Install", bundle + "/Contents/link");
  }
  std::string volume(const std::string& name, bool withCopy = true) {
    const std::string path = root_ / ("Volumes/" + name);
    fs::create_directories(path);
    if (withCopy) makeApp(path + "/Install.app");
    return path;
  }

  bool locate() { return getSelfDmgPath(query_, volumes_, images_, imagePath_, volumePath_); }

  wendtest::TemporaryFolder root_;
  SelfDmgQuery query_{root_ / "Downloads/Install.app", root_ / "Volumes", 15};
  FakeVolumes volumes_;
  FakeImages images_;
  std::string imagePath_ = "none";
  std::string volumePath_ = "none";
};

TEST_F(SelfDiskImageTest, VolumeHoldingACopyOfTheAppLeadsToItsImageByMountPointOrDevEntry) {
  const std::string tarn = volume("Tarn");
  volumes_.list = {{"/", false}, {tarn, true}};
  for (const char* key : {"mount-point", "dev-entry"}) {
    images_.reply = infoReply({{"/other.dmg", "/elsewhere"}, {"/images/tarn.dmg", tarn}}, key);
    ASSERT_TRUE(locate()) << key;
    EXPECT_EQ(imagePath_, "/images/tarn.dmg");
    EXPECT_EQ(volumePath_, tarn);
  }
}

TEST_F(SelfDiskImageTest, FirstListedVolumeWinsAmongTwoImages) {
  const std::string first = volume("First");
  const std::string second = volume("Second");
  volumes_.list = {{second, true}, {first, true}};
  images_.reply = infoReply({{"/first.dmg", first}, {"/second.dmg", second}});
  ASSERT_TRUE(locate());
  EXPECT_EQ(imagePath_, "/second.dmg");
}

TEST_F(SelfDiskImageTest, NoImageWithoutAMatchingRemovableVolume) {
  const std::string differs = volume("Differs");
  wendtest::writeFile(differs + "/Install.app/Contents/MacOS/Install", "changed");
  const std::string outside = root_ / "mnt/Tarn";
  makeApp(outside + "/Install.app");
  const std::string fixed = volume("Fixed");
  const std::string unknown = volume("Unknown");
  const struct {
    const char* name;
    std::vector<MountedVolume> list;
  } cases[] = {
      {"contents differ", {{differs, true}}},
      {"outside the volumes root", {{outside, true}}},
      {"not removable", {{fixed, false}}},
      {"removable unknown", {{unknown, std::nullopt}}},
      {"the first match is not removable", {{fixed, false}, {unknown, true}}},
      {"no volumes", {}},
  };
  images_.reply = infoReply({{"/fixed.dmg", fixed}, {"/unknown.dmg", unknown}});
  for (const auto& test : cases) {
    volumes_.list = test.list;
    EXPECT_FALSE(locate()) << test.name;
    EXPECT_EQ(volumePath_, "none") << test.name;
  }
  EXPECT_EQ(images_.calls, 0);
}

TEST_F(SelfDiskImageTest, VolumePathIsKeptWhenNoImageIsFound) {
  const std::string tarn = volume("Tarn");
  volumes_.list = {{tarn, true}};
  const struct {
    const char* name;
    std::string reply;
    bool succeeded;
  } cases[] = {
      {"another volume's image", infoReply({{"/x.dmg", "/elsewhere"}}), true},
      {"no property list", "hdiutil: error", true},
      {"tool failed", infoReply({{"/x.dmg", tarn}}), false},
  };
  for (const auto& test : cases) {
    volumePath_ = "none";
    images_.reply = test.reply;
    images_.succeeded = test.succeeded;
    EXPECT_FALSE(locate()) << test.name;
    EXPECT_EQ(volumePath_, tarn) << test.name;
    EXPECT_EQ(imagePath_, "none") << test.name;
  }
}

TEST_F(SelfDiskImageTest, BeforeMinorVersionTwelveOnlyAnAppOnTheVolumeCounts) {
  query_.osMinorVersion = 11;
  const std::string tarn = volume("Tarn");
  volumes_.list = {{tarn, true}};
  images_.reply = infoReply({{"/tarn.dmg", tarn}});
  EXPECT_FALSE(locate()) << "a copy elsewhere is not traced";

  query_.appPath = tarn + "/Install.app";
  wendtest::writeFile(query_.appPath + "/Contents/MacOS/Install", "whatever it holds");
  ASSERT_TRUE(locate());
  EXPECT_EQ(imagePath_, "/tarn.dmg");
}

TEST(TreeComparisonTest, NamesTypesBytesAndLinkTargetsCount) {
  wendtest::TemporaryFolder folder;
  auto tree = [&](const std::string& name) {
    const std::string path = folder / name;
    fs::create_directories(path + "/sub");
    wendtest::writeFile(path + "/sub/file", "bytes");
    fs::create_symlink("sub/file", path + "/link");
    return path;
  };
  const std::string original = tree("original");
  EXPECT_TRUE(contentsEqualAtPath(original, tree("same")));
  wendtest::writeFile(tree("bytes") + "/sub/file", "BYTES");
  wendtest::writeFile(tree("longer") + "/sub/file", "bytes!");
  wendtest::writeFile(tree("extra") + "/sub/other", "");
  fs::rename(tree("renamed") + "/sub/file", folder / "renamed/sub/elif");
  const std::string target = tree("target");
  fs::remove(target + "/link");
  fs::create_symlink("sub/other", target + "/link");
  const std::string type = tree("type");
  fs::remove(type + "/link");
  wendtest::writeFile(type + "/link", "bytes");
  for (const char* name : {"bytes", "longer", "extra", "renamed", "target", "type", "missing"}) {
    EXPECT_FALSE(contentsEqualAtPath(original, folder / name)) << name;
  }
}

TEST(SystemVolumesTest, MountTableFileListsVolumesAndLoopDevicesAreRemovable) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "mountinfo",
                      "22 1 8:1 / / rw - ext4 /dev/wend-no-such-disk rw\n"
                      "40 22 7:3 / /media/Tarn\\040Installer ro - hfsplus /dev/loop3 ro\n"
                      "41 22 0:5 / /run rw - tmpfs tmpfs rw\n");
  wendtest::ScopedEnv table("WEND_MOUNTINFO", folder / "mountinfo");
  std::vector<MountedVolume> list;
  ASSERT_TRUE(SystemVolumes().volumes(list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].path, "/media/Tarn Installer");
  EXPECT_EQ(list[1].removable, std::optional<bool>(true));
  EXPECT_EQ(list[0].removable, std::nullopt);
  EXPECT_EQ(list[2].removable, std::nullopt);
}

TEST(SystemVolumesTest, QueryStandsForTheConfiguredMacOsVersionUnderTheRoot) {
  wendtest::ScopedEnv root("WEND_ROOT", "/fake/root");
  {
    wendtest::ScopedEnv version("WEND_OS_VERSION", "10.11.6");
    EXPECT_EQ(systemSelfDmgQuery().osMinorVersion, 11);
  }
  wendtest::ScopedEnv version("WEND_OS_VERSION", std::nullopt);
  const SelfDmgQuery query = systemSelfDmgQuery();
  EXPECT_EQ(query.osMinorVersion, 15);
  EXPECT_EQ(query.volumesRoot, "/fake/root/media");
}

}  // namespace
