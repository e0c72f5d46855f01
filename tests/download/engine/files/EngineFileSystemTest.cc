#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "download/engine/DLETypes.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/files/EngineFileSystem.h"
#include "tests/download/engine/support/FakeDiskSpaceProbe.h"
#include "tests/download/engine/support/FolderFiles.h"

namespace gde {
namespace {

struct ParseCase {
  std::string text;
  bool ok;
  uint64_t value;
};

TEST(EngineFileSystemTest, ParseDecimalAcceptsOnlyDigitsAndRefusesOverflow) {
  const std::vector<ParseCase> cases = {
      {"", true, 0},
      {"0", true, 0},
      {"1234567890", true, 1234567890},
      {"18446744073709551615", true, UINT64_MAX},
      {"18446744073709551616", false, 0},
      {"99999999999999999999", false, 0},
      {"000000000000000000000000042", true, 42},
      {"12a", false, 0},
      {"-1", false, 0},
      {"+1", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
  };
  for (const auto& c : cases) {
    uint64_t value = 77;
    EXPECT_EQ(parseDecimalU64(c.text.data(), c.text.size(), value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(EngineFileSystemTest, NumbersFormatAndIntegersReadLikeAtoi) {
  std::string text;
  EXPECT_TRUE(formatU64(UINT64_MAX, text));
  EXPECT_EQ(text, "18446744073709551615");
  int32_t value = 0;
  stringToInt("  -42abc", value);
  EXPECT_EQ(value, -42);
  stringToInt("junk", value);
  EXPECT_EQ(value, 0);
  stringToInt("99999999999", value);
  EXPECT_EQ(value, INT32_MAX);
}

TEST(EngineFileSystemTest, QuotaUsesTheSoftLimitElseTheHardOne) {
  FakeDiskSpaceProbe probe;
  probe.quotaState = QuotaState::kOn;
  uint64_t available = 0;

  probe.quota = {0, 1000, 400};
  EXPECT_EQ(getQuotaSize("/x", available, probe), 1);
  EXPECT_EQ(available, 600u);

  probe.quota = {500, 1000, 400};
  EXPECT_EQ(getQuotaSize("/x", available, probe), 1);
  EXPECT_EQ(available, 100u);

  probe.quota = {500, 1000, 700};
  EXPECT_EQ(getQuotaSize("/x", available, probe), 1);
  EXPECT_EQ(available, 0u);

  probe.quota = {0, 0, 700};
  EXPECT_EQ(getQuotaSize("/x", available, probe), 0);
}

TEST(EngineFileSystemTest, QuotaIsSkippedForTheSuperUserAndWhenOff) {
  FakeDiskSpaceProbe probe;
  probe.quotaState = QuotaState::kOn;
  probe.quota = {0, 1000, 400};
  probe.superUser = true;
  uint64_t available = 5;
  EXPECT_EQ(getQuotaSize("/x", available, probe), 0);
  probe.superUser = false;
  probe.quotaState = QuotaState::kOff;
  EXPECT_EQ(getQuotaSize("/x", available, probe), 0);
  probe.quotaState = QuotaState::kError;
  EXPECT_EQ(getQuotaSize("/x", available, probe), -1);
}

TEST(EngineFileSystemTest, EnoughSpaceNeedsRoomInBothQuotaAndVolume) {
  FakeDiskSpaceProbe probe;
  probe.freeBytes = 100;
  EXPECT_TRUE(hasEnoughSpace("/x", 99, probe));
  EXPECT_FALSE(hasEnoughSpace("/x", 100, probe));

  probe.quotaState = QuotaState::kOn;
  probe.quota = {0, 1000, 950};
  probe.freeBytes = 1 << 20;
  EXPECT_TRUE(hasEnoughSpace("/x", 49, probe));
  EXPECT_FALSE(hasEnoughSpace("/x", 50, probe));

  probe.quotaState = QuotaState::kError;
  EXPECT_FALSE(hasEnoughSpace("/x", 0, probe));

  probe.quotaState = QuotaState::kOff;
  probe.freeKnown = false;
  EXPECT_TRUE(hasEnoughSpace("/x", 1 << 30, probe));
}

TEST(EngineFileSystemTest, DiskFullIsToldFromOtherFileErrors) {
  FakeDiskSpaceProbe roomy;
  FakeDiskSpaceProbe full;
  full.freeBytes = 0;
  EXPECT_EQ(classifyFileError("/x", 0, EIO, roomy), kFileErrorOther);
  EXPECT_EQ(classifyFileError("/x", 0, EIO, full), kFileErrorDiskFull);
  EXPECT_EQ(classifyFileError("/x", 0, ENOSPC, roomy), kFileErrorDiskFull);
  EXPECT_EQ(classifyFileError("/x", 0, EDQUOT, roomy), kFileErrorDiskFull);
}

TEST(EngineFileSystemTest, TheSystemProbeMeasuresTheVolumeOfAFileNotYetCreated) {
  wendtest::TemporaryFolder folder;
  uint64_t freeBytes = 0;
  ASSERT_TRUE(systemDiskSpaceProbe().readFreeBytes((folder / "not-yet"), freeBytes));
  EXPECT_GT(freeBytes, 0u);
  QuotaRecord quota;
  EXPECT_NE(systemDiskSpaceProbe().readUserQuota((folder / "not-yet"), quota), QuotaState::kError);
}

TEST(EngineFileSystemTest, FilesAreCreatedSizedAndDeleted) {
  wendtest::TemporaryFolder folder;
  const std::string path = (folder / "part.bin");
  int error = -1;
  ASSERT_TRUE(createLocalFile(path, error));
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(fileExists(path));
  EXPECT_FALSE(folderExists(path));
  ASSERT_TRUE(truncateFile(path, 5000, error));
  EXPECT_EQ(std::filesystem::file_size(path), 5000u);
  ASSERT_TRUE(deleteFile(path, error));
  EXPECT_FALSE(fileExists(path));
  EXPECT_TRUE(deleteFile(path, error)) << "a missing file counts as deleted";
  EXPECT_FALSE(deleteFile("", error));
  EXPECT_EQ(error, kDleErrorInvalidPath);
}

TEST(EngineFileSystemTest, AFailedTruncationClassifiesAndRemovesTheFile) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "part.bin", "abc");
  FakeDiskSpaceProbe full;
  full.freeBytes = 0;
  int error = 0;
  EXPECT_FALSE(truncateFile(path, UINT64_MAX, error, full));
  EXPECT_EQ(error, kFileErrorDiskFull);
  EXPECT_FALSE(fileExists(path));
}

TEST(EngineFileSystemTest, SpaceTheDiskCannotHoldFailsToBeReservedWithoutTrying) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "part.bin", "");
  int error = 0;
  EXPECT_TRUE(reserveFileSpace(path, 1 << 20, error));
  EXPECT_EQ(std::filesystem::file_size(path), 1u << 20);
  FakeDiskSpaceProbe full;
  full.freeBytes = 1 << 20;
  EXPECT_FALSE(reserveFileSpace(path, 2 << 20, error, full));
  EXPECT_EQ(error, kFileErrorDiskFull);
  EXPECT_FALSE(fileExists(path));
}

TEST(EngineFileSystemTest, CreationDoesNotFollowALinkAtTheTarget) {
  wendtest::TemporaryFolder folder;
  const std::string victim = writeIn(folder, "victim", "keep");
  const std::string link = (folder / "link");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  int error = 0;
  EXPECT_FALSE(createLocalFile(link, error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(wendtest::readFile(victim), "keep");
}

TEST(EngineFileSystemTest, RenameMovesButNeverReplaces) {
  wendtest::TemporaryFolder folder;
  const std::string from = writeIn(folder, "from", "new");
  const std::string to = (folder / "to");
  int error = 0;
  ASSERT_TRUE(renameFile(to, from, error));
  EXPECT_EQ(wendtest::readFile(to), "new");
  const std::string other = writeIn(folder, "other", "other");
  EXPECT_FALSE(renameFile(to, other, error));
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(wendtest::readFile(to), "new");
  EXPECT_FALSE(renameFile("", other, error));
}

TEST(EngineFileSystemTest, FoldersAreCreatedWithParentsAndRemovedWithContents) {
  wendtest::TemporaryFolder folder;
  const std::string deep = (folder / "a/b/c");
  int error = 0;
  ASSERT_TRUE(createFolder(deep, error));
  EXPECT_TRUE(folderExists(deep));
  writeIn(folder, "a/b/c/f", "x");
  ASSERT_TRUE(removeFolder((folder / "a"), error));
  EXPECT_FALSE(folderExists((folder / "a")));
  const std::string file = writeIn(folder, "plain", "x");
  EXPECT_FALSE(createFolder(file + "/sub", error));
  EXPECT_NE(error, 0);
}

TEST(EngineFileSystemTest, WriteStringToFileReplacesTheWholeFile) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "state", "a much longer old text");
  ASSERT_TRUE(writeStringToFile(path, "new"));
  EXPECT_EQ(wendtest::readFile(path), "new");
  EXPECT_FALSE(writeStringToFile("", "x"));
  EXPECT_FALSE(writeStringToFile((folder / "missing/dir/f"), "x"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(EngineFileSystemTest, HomeFoldersLieUnderTheRoot) {
  wendtest::TemporaryFolder root;
  ::setenv("WEND_ROOT", root.path().c_str(), 1);
  ::setenv("WEND_CONSOLE_UID", std::to_string(::getuid()).c_str(), 1);
  std::string home;
  ASSERT_TRUE(getHomeFolder(home));
  EXPECT_EQ(home.rfind(root.path(), 0), 0u) << home;
  ASSERT_TRUE(getConsoleUserHomeFolder(home));
  EXPECT_EQ(home.rfind(root.path(), 0), 0u) << home;
  ::unsetenv("WEND_ROOT");
  ::unsetenv("WEND_CONSOLE_UID");
}

}  // namespace
}  // namespace gde
