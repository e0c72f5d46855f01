#include <gtest/gtest.h>

#include "platform/system/MountTable.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace platform {

void PrintTo(const MountEntry& entry, std::ostream* out) {
  *out << "{" << entry.mountPoint << ", " << entry.source << ", " << entry.fsType << "}";
}

}  // namespace platform

namespace {

TEST(MountInfo, FieldsAreReadAroundOptionalFieldsAndEscapesDecoded) {
  struct Case {
    const char* line;
    platform::MountEntry entry;
  } cases[] = {
      {"27 1 254:0 / / rw,relatime - ext4 /dev/vda rw", {"/", "/dev/vda", "ext4"}},
      {"36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 shared:7 - ext3 /dev/root rw,errors=continue",
       {"/mnt2", "/dev/root", "ext3"}},
      {R"(40 27 0:50 / /media/My\040Disk rw - vfat /dev/sdb1 rw)",
       {"/media/My Disk", "/dev/sdb1", "vfat"}},
      {R"(41 27 0:51 / /a\011tab\012line\134slash rw - fuse.x src\040one rw)",
       {"/a\ttab\nline\\slash", "src one", "fuse.x"}},
      {R"(42 27 0:52 / /odd\x\12\999 rw - tmpfs tmpfs rw)", {R"(/odd\x\12\999)", "tmpfs", "tmpfs"}},
      {"43 27 0:53 / /no-options-after rw - tmpfs none", {"/no-options-after", "none", "tmpfs"}},
  };
  for (const Case& c : cases) {
    std::vector<platform::MountEntry> entries = platform::parseMountInfo(c.line);
    ASSERT_EQ(entries.size(), 1u) << c.line;
    EXPECT_EQ(entries[0], c.entry) << c.line;
  }
}

TEST(MountInfo, MalformedLinesAreSkippedAndTheRestKept) {
  std::string text =
      "\n"
      "garbage\n"
      "1 0 8:1 / / rw ext4 /dev/sda1 rw\n"           // no separator
      "2 1 8:1 / relative rw - ext4 /dev/sda1 rw\n"  // mount point not absolute
      "3 1 8:1 / /cut rw -\n"                        // nothing after the separator
      "4 1 8:1 / /kept rw - ext4 /dev/sda1 rw\n"
      "5 1 8:1 / /last rw - btrfs /dev/sda2 rw";  // no final newline
  std::vector<platform::MountEntry> entries = platform::parseMountInfo(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mountPoint, "/kept");
  EXPECT_EQ(entries[1], (platform::MountEntry{"/last", "/dev/sda2", "btrfs"}));
}

// The process's own table goes through the file reader; a missing file leaves the output as it was.
TEST(MountInfoFile, ReadsTheProcessTableAndFailsOnAMissingFile) {
  std::vector<platform::MountEntry> entries;
  ASSERT_TRUE(platform::MountTable::system().entries(entries));
  bool root = false, proc = false;
  for (const platform::MountEntry& entry : entries) {
    root = root || entry.mountPoint == "/";
    proc = proc || (entry.mountPoint == "/proc" && entry.fsType == "proc");
  }
  EXPECT_TRUE(root);
  EXPECT_TRUE(proc);

  TemporaryFolder folder;
  std::vector<platform::MountEntry> unchanged{{"/x", "y", "z"}};
  EXPECT_FALSE(platform::MountInfoFile(folder / "missing").entries(unchanged));
  EXPECT_EQ(unchanged.size(), 1u);
}

}  // namespace
