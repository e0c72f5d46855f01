#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/logging/LogRotation.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

// Name, size threshold and lines are checked through the sink (LogTargetDefaultTest).
TEST(LogRotationTest, CopiesThenEmptiesTheLogInPlace) {
  wendtest::TemporaryFolder folder;
  const std::string path = folder / "Wend.log";
  const std::string content(3 * 4096 + 17, 'a');
  wendtest::writeFile(path, content);
  struct stat before {};
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_TRUE(LogRotation::copyAndTruncate(path, folder / "Wend copy.log"));
  EXPECT_EQ(wendtest::readFile(folder / "Wend copy.log"), content);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(LogRotationTest, NeverOverwritesOrFollowsAnExistingName) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "Wend.log", "log lines\n");
  wendtest::writeFile(folder / "victim", "precious");
  ASSERT_EQ(symlink((folder / "victim").c_str(), (folder / "Wend old.log").c_str()), 0);
  EXPECT_FALSE(LogRotation::copyAndTruncate(folder / "Wend.log", folder / "Wend old.log"));
  EXPECT_EQ(wendtest::readFile(folder / "victim"), "precious");
  EXPECT_EQ(wendtest::readFile(folder / "Wend.log"), "log lines\n");
}

}  // namespace
}  // namespace pando
