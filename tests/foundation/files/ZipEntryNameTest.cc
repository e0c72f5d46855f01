#include <gtest/gtest.h>

#include "foundation/files/ZipEntryName.h"

namespace {

TEST(ZipEntryNameTest, SplitsSafeNamesAndRefusesClimbingOnes) {
  const std::pair<std::string, std::vector<std::string>> safe[] = {
      {"a/b/c.txt", {"a", "b", "c.txt"}},
      {"dir\\sub\\f", {"dir", "sub", "f"}},
      {"folder/", {"folder"}},
      {"./a//b/./c", {"a", "b", "c"}},
      {"..a/b..", {"..a", "b.."}},
      {std::string("ok\0/../../x", 11), {"ok"}}};
  for (const auto& [raw, expected] : safe) {
    std::vector<std::string> parts;
    ASSERT_TRUE(files::zipNameParts(files::zipSlashName(raw), parts)) << raw;
    EXPECT_EQ(parts, expected) << raw;
  }
  for (const char* raw :
       {"../evil", "a/../../evil", "..\\evil", "a\\..", "/etc/x", "\\etc\\x", ".."}) {
    std::vector<std::string> parts;
    EXPECT_FALSE(files::zipNameParts(files::zipSlashName(raw), parts)) << raw;
  }
}

}  // namespace
