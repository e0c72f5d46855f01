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

TEST(MountInfo, FieldsAreReadAroundOptionalFieldsEscapesDecodedAndMalformedLinesSkipped) {
  const std::string text =
      "\ngarbage\n"
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "1 0 8:1 / / rw ext4 /dev/sda1 rw\n"           // no separator
      "2 1 8:1 / relative rw - ext4 /dev/sda1 rw\n"  // mount point not absolute
      "3 1 8:1 / /cut rw -\n"                        // nothing after the separator
      "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 shared:7 - ext3 /dev/root rw,errors=continue\n"
      R"(40 27 0:50 / /media/My\040Disk rw - vfat /dev/sdb1 rw)"
      "\n"
      R"(41 27 0:51 / /a\011tab\012line\134slash rw - fuse.x src\040one rw)"
      "\n"
      R"(42 27 0:52 / /odd\x\12\999 rw - tmpfs tmpfs rw)"
      "\n"
      "43 27 0:53 / /last rw - tmpfs none";  // no options after the source, no final newline
  const std::vector<platform::MountEntry> expected = {{"/", "/dev/vda", "ext4"},
                                                      {"/mnt2", "/dev/root", "ext3"},
                                                      {"/media/My Disk", "/dev/sdb1", "vfat"},
                                                      {"/a\ttab\nline\\slash", "src one", "fuse.x"},
                                                      {R"(/odd\x\12\999)", "tmpfs", "tmpfs"},
                                                      {"/last", "none", "tmpfs"}};
  EXPECT_EQ(platform::parseMountInfo(text), expected);
}

// The process's own table goes through the file reader; a missing file leaves the output as it was.
TEST(MountInfoFile, ReadsTheProcessTableAndFailsOnAMissingFile) {
  std::vector<platform::MountEntry> entries;
  ASSERT_TRUE(platform::MountTable::system().entries(entries));
  bool proc = false;
  for (const auto& entry : entries)
    proc = proc || (entry.mountPoint == "/proc" && entry.fsType == "proc");
  EXPECT_TRUE(proc);

  TemporaryFolder folder;
  std::vector<platform::MountEntry> unchanged{{"/x", "y", "z"}};
  EXPECT_FALSE(platform::MountInfoFile(folder / "missing").entries(unchanged));
  EXPECT_EQ(unchanged.size(), 1u);
}

}  // namespace
