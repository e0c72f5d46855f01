#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "core/context/PrivateFolder.h"
#include "tests/support/TemporaryFolder.h"

namespace {

struct PlantCase {
  const char* name;
  std::function<void(const std::string& path, const std::string& elsewhere)> plant;
};

void PrintTo(const PlantCase& c, std::ostream* os) {
  *os << c.name;
}

class PrivateFolderPlanted : public ::testing::TestWithParam<PlantCase> {};

TEST_P(PrivateFolderPlanted, IsRefusedAndLeftAlone) {
  wendtest::TemporaryFolder parent;
  const std::string path = parent / "run";
  const std::string elsewhere = parent / "elsewhere";
  mkdir(elsewhere.c_str(), 0700);
  chmod(elsewhere.c_str(), 0751);
  GetParam().plant(path, elsewhere);
  std::string made = "untouched";
  EXPECT_FALSE(makePrivateFolder(parent.path(), "run", made));
  EXPECT_EQ(made, "untouched");
  struct stat info;
  ASSERT_EQ(stat(elsewhere.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0751u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrivateFolderPlanted,
    ::testing::Values(PlantCase{"Folder", [](const std::string& path,
                                             const std::string&) { mkdir(path.c_str(), 0777); }},
                      PlantCase{"File", [](const std::string& path,
                                           const std::string&) { wendtest::writeFile(path, "x"); }},
                      PlantCase{"LinkToAFolder",
                                [](const std::string& path, const std::string& elsewhere) {
                                  symlink(elsewhere.c_str(), path.c_str());
                                }},
                      PlantCase{"DanglingLink",
                                [](const std::string& path, const std::string& elsewhere) {
                                  symlink((elsewhere + "/missing").c_str(), path.c_str());
                                }}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PrivateFolder, IsMadeForTheOwnerOnly) {
  wendtest::TemporaryFolder parent;
  std::string made;
  ASSERT_TRUE(makePrivateFolder(parent.path(), "run", made));
  EXPECT_EQ(made, parent / "run");
  struct stat info;
  ASSERT_EQ(lstat(made.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(PrivateFolder, NamesThatLeaveTheParentAreRefused) {
  wendtest::TemporaryFolder parent;
  std::string made;
  for (const char* name : {"", ".", "..", "a/b", "../x"}) {
    EXPECT_FALSE(makePrivateFolder(parent.path(), name, made)) << name;
  }
  EXPECT_FALSE(makePrivateFolder(parent / "missing", "run", made));
}

}  // namespace
