#include <gtest/gtest.h>

#include "foundation/files/ZipEntryName.h"

namespace {

struct NameCase {
  std::string raw;
  bool safe;
  std::vector<std::string> parts;
};

class ZipEntryNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(ZipEntryNameTest, SplitsSafeNamesAndRefusesClimbingOnes) {
  std::vector<std::string> parts;
  const NameCase& c = GetParam();
  ASSERT_EQ(files::zipNameParts(files::zipSlashName(c.raw), parts), c.safe) << c.raw;
  EXPECT_EQ(parts, c.safe ? c.parts : parts) << c.raw;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ZipEntryNameTest,
    testing::Values(
        NameCase{"a/b/c.txt", true, {"a", "b", "c.txt"}},
        NameCase{"dir\\sub\\f", true, {"dir", "sub", "f"}}, NameCase{"folder/", true, {"folder"}},
        NameCase{"./a//b/./c", true, {"a", "b", "c"}}, NameCase{"..a/b..", true, {"..a", "b.."}},
        NameCase{std::string("ok\0/../../x", 11), true, {"ok"}}, NameCase{"../evil", false, {}},
        NameCase{"a/../../evil", false, {}}, NameCase{"..\\evil", false, {}},
        NameCase{"a\\..", false, {}}, NameCase{"/etc/x", false, {}},
        NameCase{"\\etc\\x", false, {}}, NameCase{"..", false, {}}));

}  // namespace
