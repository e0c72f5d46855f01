#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/system/DiskImage.h"
#include "tests/support/Bundle.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

constexpr char kMountNote[] =
    "NOTE Failed to mount the package dmg. checking if already mounted...";
constexpr char kLookupError[] = "Error Failed to find the already mounted location ....";

struct Attached {
  bool ok;
  std::string mountedAt = "old";
  bool mountedHere;
};

// The fake hdiutil with a private state folder and an image folder holding one file.
class DiskImage : public ::testing::Test {
 protected:
  DiskImage() {
    mkdir((folder_ / "image.dmg").c_str(), 0755);
    writeFile(folder_ / "image.dmg/payload", "bytes");
  }
  Attached attach(const std::string& image, const std::string& mountPoint, bool here = true) {
    Attached out{false, "old", here};
    out.ok = FileUtils::attachDiskImage(image, mountPoint, out.mountedAt, out.mountedHere, &log_);
    return out;
  }
  // Every message comes from FileUtils at error level.
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const Record& record : log_.records()) {
      EXPECT_EQ(record.level, pando::kLogError);
      EXPECT_EQ(record.source, "FileUtils");
      out.push_back(record.message);
    }
    log_.clear();
    return out;
  }
  std::string attachCall(const std::string& image, const std::string& mountPoint) {
    return "attach\t" + image +
           "\t-noverify\t-noautoopen\t-nobrowse\t-noautofsck\t-readonly\t-quiet\t-mountpoint\t" +
           mountPoint + "\n";
  }

  TemporaryFolder folder_;
  ScopedEnv tool_{"WEND_TOOL_HDIUTIL", WEND_FAKE_HDIUTIL};
  ScopedEnv state_{"WEND_FAKE_HDIUTIL_STATE", folder_.path()};
  ScopedEnv fail_{"WEND_FAKE_HDIUTIL_FAIL", std::nullopt};
  CapturingLogger log_;
};

TEST_F(DiskImage, AttachMountsAtTheMountPointAndDetachUnmounts) {
  const std::string mountPoint = folder_ / "mnt";
  const Attached attached = attach(folder_ / "image.dmg", mountPoint, false);
  ASSERT_TRUE(attached.ok);
  EXPECT_EQ(attached.mountedAt, mountPoint);
  EXPECT_TRUE(attached.mountedHere);
  EXPECT_EQ(readFile(mountPoint + "/payload"), "bytes");

  EXPECT_TRUE(FileUtils::detachDiskImage(mountPoint, &log_));
  EXPECT_FALSE(existsNoFollow(mountPoint));
  EXPECT_EQ(readFile(folder_ / "calls"),
            attachCall(folder_ / "image.dmg", mountPoint) + "detach\t" + mountPoint + "\t-quiet\n");
  EXPECT_TRUE(messages().empty());
}

TEST_F(DiskImage, AnImageMountedElsewhereIsFoundByItsStandardisedPath) {
  const std::string asAttached = folder_.path() + "/.//image.dmg";
  ASSERT_TRUE(attach(asAttached, folder_ / "first").ok);
  log_.clear();
  const Attached again = attach(folder_ / "image.dmg", folder_ / "second");
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(again.mountedAt, folder_ / "first");
  EXPECT_FALSE(again.mountedHere);
  EXPECT_EQ(messages(), std::vector<std::string>{kMountNote});
  EXPECT_EQ(readFile(folder_ / "calls"), attachCall(asAttached, folder_ / "first") +
                                             attachCall(folder_ / "image.dmg", folder_ / "second") +
                                             "info\t-plist\n");
}

TEST_F(DiskImage, FailedMountsAndLookupsAreLogged) {
  struct Case {
    const char* name;
    std::string image, tool;
    const char* fail;
    std::vector<std::string> messages;
  };
  const std::string fake = WEND_FAKE_HDIUTIL, image = folder_ / "image.dmg";
  const Case cases[] = {
      {"not mounted anywhere", folder_ / "absent.dmg", fake, nullptr, {kMountNote}},
      {"info fails", image, fake, "attach,info", {kMountNote, kLookupError}},
      {"tool missing", image, "/nonexistent/hdiutil", nullptr, {kMountNote, kLookupError}},
  };
  for (const Case& c : cases) {
    ScopedEnv tool("WEND_TOOL_HDIUTIL", c.tool);
    ScopedEnv fail("WEND_FAKE_HDIUTIL_FAIL",
                   c.fail ? std::optional<std::string>(c.fail) : std::nullopt);
    const Attached attached = attach(c.image, folder_ / "mnt");
    EXPECT_FALSE(attached.ok) << c.name;
    EXPECT_EQ(attached.mountedAt, "") << c.name;
    EXPECT_TRUE(attached.mountedHere) << c.name;
    EXPECT_EQ(messages(), c.messages) << c.name;
    EXPECT_FALSE(FileUtils::detachDiskImage(folder_ / "mnt", &log_)) << c.name;
    EXPECT_EQ(messages(), std::vector<std::string>{"Error Failed to unmount"}) << c.name;
  }
  ScopedEnv succeeds("WEND_TOOL_HDIUTIL", "/bin/true");  // no mount point: nothing to find
  EXPECT_FALSE(attach(image, "").ok);
}

// hdiutil replies the fake never gives: a script that fails to attach and prints a canned reply.
TEST_F(DiskImage, TheInfoReplyIsReadByItsRules) {
  const std::string image = folder_ / "image.dmg";
  auto reply = [&](const std::string& images) {
    return "<plist version=\"1.0\"><dict><key>images</key>" + images + "</dict></plist>";
  };
  auto entry = [](const std::string& path, const std::string& entities) {
    return "<dict><key>image-path</key><string>" + path + "</string><key>system-entities</key>" +
           entities + "</dict>";
  };
  const std::string mount = "<dict><key>mount-point</key><string>/Volumes/T</string></dict>";
  struct Case {
    const char* name;
    std::string reply;
    const char* mountedAt;
  } cases[] = {
      {"first mount point of the match",
       reply("<array><string>x</string><dict><key>image-path</key><integer>1</integer></dict>" +
             entry(image,
                   "<array><string>e</string><dict><key>dev-entry</key><string>d</string>"
                   "</dict>" +
                       mount + "<dict><key>mount-point</key><string>/Volumes/U</string>" +
                       "</dict></array>") +
             "</array>"),
       "/Volumes/T"},
      {"only the first matching image counts",
       reply("<array>" + entry(image, "<array/>") + entry(image, "<array>" + mount + "</array>") +
             "</array>"),
       ""},
      {"entities not an array", reply("<array>" + entry(image, mount) + "</array>"), ""},
      {"other image",
       reply("<array>" + entry(image + "2", "<array>" + mount + "</array>") + "</array>"), ""},
      {"images not an array", reply("<dict/>"), ""},
      {"not a property list", "hdiutil: info failed", ""},
  };
  ScopedEnv tool("WEND_TOOL_HDIUTIL", folder_ / "hdiutil");
  for (const Case& c : cases) {
    writeFile(folder_ / "reply", c.reply);
    writeScript(folder_ / "hdiutil",
                "[ \"$1\" = info ] && exec cat " + folder_ / "reply" + "\nexit 1\n");
    const Attached attached = attach(image, folder_ / "mnt");
    EXPECT_EQ(attached.ok, *c.mountedAt != '\0') << c.name;
    EXPECT_EQ(attached.mountedAt, c.mountedAt) << c.name;
    EXPECT_EQ(attached.mountedHere, *c.mountedAt == '\0') << c.name;
  }
}

TEST(StandardizePath, ResolvesDotsAndSlashesWithoutTheFileSystem) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a//b///c/", "/a/b/c"},
      {"/a/./b/.", "/a/b"},
      {"/a/x/../b", "/a/b"},
      {"/../a", "/a"},
      {"//", "/"},
      {"a/../../b", "../b"},
      {"./a", "a"},
      {"a/..", "."},
      {"", ""},
      {"/a/b/../../..", "/"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FileUtils::standardizePath(in), out) << in;
}

}  // namespace
