#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "download/engine/common/StopSignal.h"
#include "download/engine/files/DownloadFileHandle.h"
#include "tests/download/engine/support/EngineLogLines.h"
#include "tests/download/engine/support/FakeDiskSpaceProbe.h"
#include "tests/download/engine/support/FolderFiles.h"

namespace gde {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

FileHandleSettings quickSettings() {
  return FileHandleSettings{milliseconds(20)};
}

TEST(DownloadFileHandleTest, WritesAndReadsAtPositions) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "part", std::string(10, '.'));
  DownloadFileHandle handle(quickSettings());
  ASSERT_TRUE(handle.open(path));
  EXPECT_TRUE(handle.open(path)) << "already open";
  ASSERT_TRUE(handle.writeAt(3, "abc", 3));
  ASSERT_TRUE(handle.writeSegment(12, "xy", 2));
  char buffer[3] = {};
  ASSERT_TRUE(handle.readAt(3, buffer, 3));
  EXPECT_EQ(std::string(buffer, 3), "abc");
  uint64_t size = 0;
  ASSERT_TRUE(handle.getSize(size));
  EXPECT_EQ(size, 14u);
  handle.close();
  EXPECT_EQ(wendtest::readFile(path), std::string("...abc....\0\0xy", 14));
}

TEST(DownloadFileHandleTest, ReadToEndOfAnEmptyFileGivesAnEmptyTerminatedBuffer) {
  wendtest::TemporaryFolder folder;
  DownloadFileHandle handle(quickSettings());
  ASSERT_TRUE(handle.open(writeIn(folder, "empty", "")));
  std::string data = "stale";
  ASSERT_TRUE(handle.readToEnd(data, 0, 100));
  EXPECT_EQ(data.size(), 0u);
  EXPECT_EQ(data.c_str()[0], '\0');
}

TEST(DownloadFileHandleTest, ReadsRefuseMoreThanTheBoundOrTheFileHolds) {
  wendtest::TemporaryFolder folder;
  DownloadFileHandle handle(quickSettings());
  ASSERT_TRUE(handle.open(writeIn(folder, "f", "0123456789")));
  std::string data;
  ASSERT_TRUE(handle.readToEnd(data, 4, 6));
  EXPECT_EQ(data, "456789");
  EXPECT_FALSE(handle.readToEnd(data, 3, 6));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(handle.getError().type, ERROR_FILE_SYSTEM);
  char buffer[4];
  EXPECT_FALSE(handle.readAt(8, buffer, 4)) << "past the end";
  EXPECT_EQ(handle.getError().type, ERROR_FILE_SYSTEM);
  EXPECT_EQ(handle.getError().code, kFileErrorOther);
}

TEST(DownloadFileHandleTest, OperationsOnAClosedHandleFail) {
  DownloadFileHandle handle(quickSettings());
  char buffer[1];
  std::string data;
  uint64_t size = 0;
  EXPECT_FALSE(handle.writeAt(0, "a", 1));
  EXPECT_FALSE(handle.readAt(0, buffer, 1));
  EXPECT_FALSE(handle.readToEnd(data, 0, 10));
  EXPECT_FALSE(handle.getSize(size));
  EXPECT_TRUE(handle.close());
}

TEST(DownloadFileHandleTest, OpeningTriesTwiceUnlessNoRetryCanHelp) {
  wendtest::TemporaryFolder folder;
  struct Case {
    std::string path;
    int retries;
  };
  const Case cases[] = {{folder / "missing", 1},
                        {folder.path(), 0},  // a folder
                        {folder / std::string(300, 'n'), 0}};
  for (const Case& c : cases) {
    testing::EngineLogLines retries("Retrying now.");
    DownloadFileHandle handle(quickSettings());
    EXPECT_FALSE(handle.open(c.path));
    EXPECT_EQ(retries.count.load(), c.retries) << c.path;
    const EngineErrorRecord error = handle.getError();
    EXPECT_EQ(error.type, ERROR_FILE_SYSTEM);
    EXPECT_FALSE(error.message.empty());
  }
}

TEST(DownloadFileHandleTest, AStopEndsTheWaitBetweenTheTwoOpenAttempts) {
  wendtest::TemporaryFolder folder;
  DownloadFileHandle handle(FileHandleSettings{std::chrono::seconds(30)});
  StopSignal stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(20));
    stop.request();
  });
  const auto before = steady_clock::now();
  EXPECT_FALSE(
      handle.open(folder / "missing", [&](auto duration) { return stop.waitFor(duration); }));
  stopper.join();
  EXPECT_LT(steady_clock::now() - before, std::chrono::seconds(5));
  EXPECT_EQ(handle.getError().type, ERROR_FILE_SYSTEM);
  EXPECT_FALSE(handle.isOpen());
}

TEST(DownloadFileHandleTest, OpeningDoesNotFollowALink) {
  wendtest::TemporaryFolder folder;
  const std::string target = writeIn(folder, "target", "keep");
  const std::string link = (folder / "link");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  DownloadFileHandle handle(quickSettings());
  EXPECT_FALSE(handle.open(link));
}

TEST(DownloadFileHandleTest, AFullVolumeRecordsDiskFull) {
  DownloadFileHandle handle(quickSettings());
  if (!handle.open("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  EXPECT_FALSE(handle.writeSegment(0, "abc", 3));
  const EngineErrorRecord error = handle.getError();
  EXPECT_EQ(error.type, ERROR_FILE_SYSTEM);
  EXPECT_EQ(error.code, kFileErrorDiskFull);
  EXPECT_EQ(error.message, "Failed to write the segment in the file which is to be downloaded");
}

TEST(DownloadFileHandleTest, AWriteFailureIsDiskFullOnlyWhenTheVolumeHasNoRoom) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "f", "abc");
  FakeDiskSpaceProbe full;
  full.freeBytes = 0;
  FakeDiskSpaceProbe roomy;
  for (const auto* probe : {&full, &roomy}) {
    DownloadFileHandle handle(quickSettings(), *probe);
    ASSERT_TRUE(handle.open(path));
    // An offset beyond what the file system can address fails without ENOSPC.
    EXPECT_FALSE(handle.writeAt(UINT64_MAX - 1, "a", 1));
    EXPECT_EQ(handle.getError().code, probe == &full ? kFileErrorDiskFull : kFileErrorOther);
  }
}

TEST(DownloadFileHandleTest, ConcurrentWritersNeverInterleave) {
  wendtest::TemporaryFolder folder;
  const std::string path = writeIn(folder, "shared", "");
  DownloadFileHandle handle(quickSettings());
  ASSERT_TRUE(handle.open(path));
  constexpr int kThreads = 8;
  constexpr int kBlocks = 50;
  constexpr size_t kBlock = 4096;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&handle, t] {
      const std::string block(kBlock, static_cast<char>('a' + t));
      for (int b = 0; b < kBlocks; ++b) {
        const uint64_t offset = (static_cast<uint64_t>(b) * kThreads + t) * kBlock;
        ASSERT_TRUE(handle.writeAt(offset, block.data(), block.size()));
      }
    });
  }
  for (auto& writer : writers) writer.join();
  handle.close();
  const std::string data = wendtest::readFile(path);
  ASSERT_EQ(data.size(), kThreads * kBlocks * kBlock);
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(data[i], static_cast<char>('a' + (i / kBlock) % kThreads)) << i;
  }
}

}  // namespace
}  // namespace gde
