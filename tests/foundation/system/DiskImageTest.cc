#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/system/DiskImage.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

constexpr char kMountNote[] =
    "NOTE Failed to mount the package dmg. checking if already mounted...";
constexpr char kLookupError[] = "Error Failed to find the already mounted location ....";

std::vector<std::string> messages(const CapturingLogger& logger) {
  std::vector<std::string> out;
  for (const Record& record : logger.records()) {
    EXPECT_EQ(record.level, pando::kLogError);
    EXPECT_EQ(record.source, "FileUtils");
    out.push_back(record.message);
  }
  return out;
}

// The fake hdiutil with a private state folder and an image folder holding one file.
class DiskImage : public ::testing::Test {
 protected:
  DiskImage()
      : tool_("WEND_TOOL_HDIUTIL", WEND_FAKE_HDIUTIL),
        state_("WEND_FAKE_HDIUTIL_STATE", folder_.path()),
        fail_("WEND_FAKE_HDIUTIL_FAIL", std::nullopt) {
    mkdir((folder_ / "image.dmg").c_str(), 0755);
    writeFile(folder_ / "image.dmg/payload", "bytes");
  }
  std::string calls() { return readFile(folder_ / "calls"); }
  std::string attachCall(const std::string& image, const std::string& mountPoint) {
    return "attach\t" + image +
           "\t-noverify\t-noautoopen\t-nobrowse\t-noautofsck\t-readonly\t-quiet\t-mountpoint\t" +
           mountPoint + "\n";
  }

  TemporaryFolder folder_;
  ScopedEnv tool_, state_, fail_;
  CapturingLogger logger_;
};

TEST_F(DiskImage, AttachMountsAtTheMountPointAndDetachUnmounts) {
  std::string mountPoint = folder_ / "mnt";
  std::string mountedAt = "old";
  bool mountedHere = false;
  ASSERT_TRUE(FileUtils::attachDiskImage(folder_ / "image.dmg", mountPoint, mountedAt, mountedHere,
                                         &logger_));
  EXPECT_EQ(mountedAt, mountPoint);
  EXPECT_TRUE(mountedHere);
  EXPECT_EQ(readFile(mountPoint + "/payload"), "bytes");

  EXPECT_TRUE(FileUtils::detachDiskImage(mountPoint, &logger_));
  EXPECT_FALSE(existsNoFollow(mountPoint));
  EXPECT_EQ(calls(),
            attachCall(folder_ / "image.dmg", mountPoint) + "detach\t" + mountPoint + "\t-quiet\n");
  EXPECT_TRUE(logger_.records().empty());
}

TEST_F(DiskImage, AnImageMountedElsewhereIsFoundByItsStandardisedPath) {
  std::string firstMount = folder_ / "first";
  std::string asAttached = folder_.path() + "/.//image.dmg";
  std::string mountedAt;
  bool mountedHere = false;
  ASSERT_TRUE(FileUtils::attachDiskImage(asAttached, firstMount, mountedAt, mountedHere));

  mountedHere = true;
  ASSERT_TRUE(FileUtils::attachDiskImage(folder_ / "image.dmg", folder_ / "second", mountedAt,
                                         mountedHere, &logger_));
  EXPECT_EQ(mountedAt, firstMount);
  EXPECT_FALSE(mountedHere);
  EXPECT_EQ(messages(logger_), std::vector<std::string>{kMountNote});
  EXPECT_EQ(calls(), attachCall(asAttached, firstMount) +
                         attachCall(folder_ / "image.dmg", folder_ / "second") + "info\t-plist\n");
}

TEST_F(DiskImage, AnImageThatIsNotMountedAnywhereFails) {
  std::string mountedAt = "old";
  bool mountedHere = true;
  EXPECT_FALSE(FileUtils::attachDiskImage(folder_ / "absent.dmg", folder_ / "mnt", mountedAt,
                                          mountedHere, &logger_));
  EXPECT_EQ(mountedAt, "");
  EXPECT_TRUE(mountedHere);
  EXPECT_EQ(messages(logger_), std::vector<std::string>{kMountNote});
}

TEST_F(DiskImage, FailedLookupsAndMissingToolsAreLogged) {
  struct Case {
    const char* name;
    const char* tool;  // null: the fake
    const char* fail;
  } cases[] = {
      {"info fails", nullptr, "attach,info"},
      {"tool missing", "/nonexistent/hdiutil", nullptr},
  };
  for (const Case& c : cases) {
    ScopedEnv tool("WEND_TOOL_HDIUTIL", c.tool ? c.tool : WEND_FAKE_HDIUTIL);
    ScopedEnv fail("WEND_FAKE_HDIUTIL_FAIL",
                   c.fail ? std::optional<std::string>(c.fail) : std::nullopt);
    logger_.clear();
    std::string mountedAt = "old";
    bool mountedHere = true;
    EXPECT_FALSE(FileUtils::attachDiskImage(folder_ / "image.dmg", folder_ / "mnt", mountedAt,
                                            mountedHere, &logger_))
        << c.name;
    EXPECT_EQ(mountedAt, "") << c.name;
    EXPECT_EQ(messages(logger_), (std::vector<std::string>{kMountNote, kLookupError})) << c.name;

    logger_.clear();
    EXPECT_FALSE(FileUtils::detachDiskImage(folder_ / "mnt", &logger_)) << c.name;
    EXPECT_EQ(messages(logger_), std::vector<std::string>{"Error Failed to unmount"}) << c.name;
  }
}

TEST_F(DiskImage, AttachWithAnEmptyMountPointSucceedsButFindsNothing) {
  ScopedEnv tool("WEND_TOOL_HDIUTIL", "/bin/true");
  std::string mountedAt = "old";
  bool mountedHere = false;
  EXPECT_FALSE(FileUtils::attachDiskImage(folder_ / "image.dmg", "", mountedAt, mountedHere));
  EXPECT_EQ(mountedAt, "");
  EXPECT_TRUE(mountedHere);
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
                       mount +
                       "<dict><key>mount-point</key><string>/Volumes/U</string></dict>"
                       "</array>") +
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
      {"top not a dictionary", "<plist><array/></plist>", ""},
      {"not a property list", "hdiutil: info failed", ""},
  };
  for (const Case& c : cases) {
    writeFile(folder_ / "reply", c.reply);
    std::string script = folder_ / "hdiutil";
    writeFile(script,
              "#!/bin/sh\n[ \"$1\" = info ] && exec cat " + folder_ / "reply" + "\nexit 1\n");
    chmod(script.c_str(), 0755);
    ScopedEnv tool("WEND_TOOL_HDIUTIL", script);
    std::string mountedAt = "old";
    bool mountedHere = true;
    EXPECT_EQ(FileUtils::attachDiskImage(image, folder_ / "mnt", mountedAt, mountedHere),
              *c.mountedAt != '\0')
        << c.name;
    EXPECT_EQ(mountedAt, c.mountedAt) << c.name;
    EXPECT_EQ(mountedHere, *c.mountedAt == '\0') << c.name;
  }
}

TEST(StandardizePath, ResolvesDotsAndSlashesWithoutTheFileSystem) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/a/b/c", "/a/b/c"},
      {"/a//b///c/", "/a/b/c"},
      {"/a/./b/.", "/a/b"},
      {"/a/x/../b", "/a/b"},
      {"/../a", "/a"},
      {"/", "/"},
      {"//", "/"},
      {"a/../../b", "../b"},
      {"./a", "a"},
      {".", "."},
      {"a/..", "."},
      {"", ""},
      {"/a/b/../../..", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileUtils::standardizePath(c.in), c.out) << c.in;
}

}  // namespace
