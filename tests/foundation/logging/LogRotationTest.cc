#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "foundation/logging/LogRotation.h"
#include "tests/support/TemporaryFolder.h"

namespace pando {
namespace {

constexpr int64_t kDecember5th2026 = 1796503474123;  // 20:44:34.123 UTC

class LogRotationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  wendtest::TemporaryFolder folder_;
};

TEST_F(LogRotationTest, RotatedNameCarriesTheTimeBeforeTheExtension) {
  EXPECT_EQ(LogRotation::rotatedPath("/logs/DLM.log", kDecember5th2026),
            "/logs/DLM 12-05-2026 20-44-34.log");
  EXPECT_EQ(LogRotation::rotatedPath("/logs/PANDO", kDecember5th2026),
            "/logs/PANDO 12-05-2026 20-44-34");
}

TEST_F(LogRotationTest, DueAtExactlyTenMebibytes) {
  const std::string path = folder_ / "Wend.log";
  bool due = true;
  EXPECT_FALSE(LogRotation::isDue(path, due));

  wendtest::writeFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), 10485760 - 1), 0);
  ASSERT_TRUE(LogRotation::isDue(path, due));
  EXPECT_FALSE(due);

  ASSERT_EQ(truncate(path.c_str(), 10485760), 0);
  ASSERT_TRUE(LogRotation::isDue(path, due));
  EXPECT_TRUE(due);
}

TEST_F(LogRotationTest, CopiesThenEmptiesTheLogInPlace) {
  const std::string path = folder_ / "Wend.log";
  const std::string rotated = folder_ / "Wend copy.log";
  std::string content(3 * 4096 + 17, 'a');
  wendtest::writeFile(path, content);
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);

  ASSERT_TRUE(LogRotation::copyAndTruncate(path, rotated));

  EXPECT_EQ(wendtest::readFile(rotated), content);
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(LogRotationTest, NeverOverwritesOrFollowsAnExistingName) {
  const std::string path = folder_ / "Wend.log";
  const std::string victim = folder_ / "victim";
  const std::string rotated = folder_ / "Wend old.log";
  wendtest::writeFile(path, "log lines\n");
  wendtest::writeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), rotated.c_str()), 0);

  EXPECT_FALSE(LogRotation::copyAndTruncate(path, rotated));
  EXPECT_EQ(wendtest::readFile(victim), "precious");
  EXPECT_EQ(wendtest::readFile(path), "log lines\n");
}

}  // namespace
}  // namespace pando
