#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "download/engine/files/EngineFileSystem.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "tests/download/engine/support/FolderFiles.h"

namespace gde {
namespace {

using Headers = std::map<std::string, std::string>;

constexpr uint32_t kSegment = 2097152;  // 2 MiB
constexpr uint32_t kLastIndex = 5;      // 10 MiB in 2 MiB segments

const Headers& sampleHeaders() {
  static const Headers headers = {
      {"FILE_SIZE", "10485760"},
      {"SEGMENT_SIZE", "2097152"},
      {"ETAG", "\"5f3-abc\""},
      {"SERVER_PATH", "https://downloads.example.test:8443/a/b/file.bin"},
      {"DOWNLOAD_START_ADDRESS", "0"},
      {"NO_Of_BYTES_TO_DOWNLOAD", "10485760"},
  };
  return headers;
}

// A golden file that cannot be read fails the test here, before a case indexes into its bytes.
std::string golden(const std::string& name) {
  const std::string path = WEND_SOURCE_DIR "/tests/download/engine/resume/golden/" + name;
  const std::string bytes = wendtest::readFile(path);
  if (bytes.size() < QuarryDFileManager::kMagicLength) ADD_FAILURE() << "no golden file " << path;
  return bytes;
}

FileHandleSettings quickSettings() {
  return FileHandleSettings{std::chrono::milliseconds(5)};
}

// A meta file as the shared state starts one: created empty, magic, headers.
void startMetaFile(QuarryDFileManager& meta, const std::string& path) {
  int error = 0;
  ASSERT_TRUE(createLocalFile(path, error));
  ASSERT_TRUE(meta.open(path));
  ASSERT_TRUE(meta.writeMagic());
  ASSERT_TRUE(meta.writeHeaders(sampleHeaders(), kLastIndex));
}

class QuarryDFileManagerTest : public ::testing::Test {
 protected:
  wendtest::TemporaryFolder folder;
  std::string path = (folder / "file.bin.quarrydownload.quarryd");
  QuarryDFileManager meta{quickSettings()};
};

TEST_F(QuarryDFileManagerTest, ANewMetaFileMatchesItsGoldenBytes) {
  startMetaFile(meta, path);
  meta.close();
  EXPECT_EQ(wendtest::readFile(path), golden("fresh-10MiB-2MiB.quarryd"));
}

TEST_F(QuarryDFileManagerTest, RecordedProgressMatchesItsGoldenBytes) {
  startMetaFile(meta, path);
  ASSERT_TRUE(meta.writeSegmentProgress(0, 2097152));
  ASSERT_TRUE(meta.writeSegmentProgress(2, 1048576));
  ASSERT_TRUE(meta.writeSegmentProgress(5, 524288));
  meta.close();
  EXPECT_EQ(wendtest::readFile(path), golden("progress-10MiB-2MiB.quarryd"));
}

TEST_F(QuarryDFileManagerTest, AGoldenFileReadsBackItsHeadersAndProgress) {
  writeIn(folder, "file.bin.quarrydownload.quarryd", golden("progress-10MiB-2MiB.quarryd"));
  ASSERT_TRUE(meta.open(path));
  EXPECT_TRUE(meta.checkMagic());
  Headers headers;
  ASSERT_TRUE(meta.readHeaders(headers, kLastIndex));
  EXPECT_EQ(headers, sampleHeaders());
  const std::vector<uint32_t> expected = {2097152, 0, 1048576, 0, 0, 524288};
  for (uint32_t i = 0; i <= kLastIndex; ++i) {
    uint32_t written = 99;
    ASSERT_TRUE(meta.readSegmentProgress(i, kSegment, written)) << i;
    EXPECT_EQ(written, expected[i]) << i;
  }
}

TEST_F(QuarryDFileManagerTest, AFreshFileReadsZeroForEverySegment) {
  writeIn(folder, "file.bin.quarrydownload.quarryd", golden("fresh-10MiB-2MiB.quarryd"));
  ASSERT_TRUE(meta.open(path));
  for (uint32_t i = 0; i <= kLastIndex; ++i) {
    uint32_t written = 99;
    ASSERT_TRUE(meta.readSegmentProgress(i, kSegment, written)) << i;
    EXPECT_EQ(written, 0u) << i;
  }
  uint32_t written = 99;
  EXPECT_TRUE(meta.readSegmentProgress(1000, kSegment, written)) << "beyond the end";
  EXPECT_EQ(written, 0u);
}

TEST_F(QuarryDFileManagerTest, AWrongOrShortMagicIsRefused) {
  std::string wrong = golden("fresh-10MiB-2MiB.quarryd");
  ASSERT_GE(wrong.size(), QuarryDFileManager::kMagicLength);
  wrong[QuarryDFileManager::kMagicLength - 1] = '2';
  for (const std::string& bytes : {wrong, std::string("Orvel_Down")}) {
    writeIn(folder, "file.bin.quarrydownload.quarryd", bytes);
    QuarryDFileManager reader{quickSettings()};
    ASSERT_TRUE(reader.open(path));
    EXPECT_FALSE(reader.checkMagic()) << bytes.size();
  }
  Headers headers;  // the short file is still in place
  QuarryDFileManager reader{quickSettings()};
  ASSERT_TRUE(reader.open(path));
  EXPECT_FALSE(reader.readHeaders(headers, kLastIndex));
}

TEST_F(QuarryDFileManagerTest, MalformedHeaderBlocksAreRefused) {
  const std::string prefix = golden("fresh-10MiB-2MiB.quarryd").substr(0, 144);
  const std::vector<std::string> blocks = {
      "<headers>@START@ETAG{|}abc@END@",             // no closing tag
      "@START@ETAG{|}abc@END@</headers>",            // no opening tag
      "</headers><headers>",                         // closing tag first
      "",                                            // nothing after the records
      std::string("\0<headers></headers>", 20),      // not where the records end
      "x<headers>@START@ETAG{|}abc@END@</headers>",  // likewise
  };
  for (const auto& block : blocks) {
    writeIn(folder, "file.bin.quarrydownload.quarryd", prefix + block);
    QuarryDFileManager reader{quickSettings()};
    ASSERT_TRUE(reader.open(path));
    Headers headers;
    EXPECT_FALSE(reader.readHeaders(headers, kLastIndex)) << block;
  }
}

TEST_F(QuarryDFileManagerTest, HeaderEntriesParseLikeTheWriterWritesThem) {
  const std::string prefix = golden("fresh-10MiB-2MiB.quarryd").substr(0, 144);
  struct Case {
    std::string block;
    Headers expected;
  };
  const std::vector<Case> cases = {
      {"<headers>@START@ETAG{|}abc@END@</headers>", {{"ETAG", "abc"}}},
      {"<headers></headers>", {}},
      {"<headers>@START@A{|}1@END@@START@A{|}2@END@</headers>", {{"A", "2"}}},
      {"<headers>@START@novalue@END@@START@B{|}x{|}y@END@</headers>", {{"B", "x{|}y"}}},
      {"<headers>@START@A{|}1@END@@END@@START@B{|}2</headers>", {{"A", "1"}}},
      {"<headers>@START@A{|}@END@</headers>", {{"A", ""}}},
  };
  for (const auto& c : cases) {
    writeIn(folder, "file.bin.quarrydownload.quarryd", prefix + c.block);
    QuarryDFileManager reader{quickSettings()};
    ASSERT_TRUE(reader.open(path));
    Headers headers;
    ASSERT_TRUE(reader.readHeaders(headers, kLastIndex)) << c.block;
    EXPECT_EQ(headers, c.expected) << c.block;
  }
}

TEST_F(QuarryDFileManagerTest, AFileLargerThanItsRecordsAndHeaderRoomIsRefused) {
  const std::string prefix = golden("fresh-10MiB-2MiB.quarryd").substr(0, 144);
  const std::string fits =
      "<headers>" + std::string(QuarryDFileManager::kMaxHeadersBytes - 19, 'x') + "</headers>";
  writeIn(folder, "file.bin.quarrydownload.quarryd", prefix + fits);
  {
    QuarryDFileManager reader{quickSettings()};
    ASSERT_TRUE(reader.open(path));
    Headers headers;
    EXPECT_TRUE(reader.readHeaders(headers, kLastIndex));
  }
  writeIn(folder, "file.bin.quarrydownload.quarryd", prefix + fits + "x");
  QuarryDFileManager reader{quickSettings()};
  ASSERT_TRUE(reader.open(path));
  Headers headers;
  EXPECT_FALSE(reader.readHeaders(headers, kLastIndex));
}

TEST_F(QuarryDFileManagerTest, HeadersWrittenForOtherSegmentsAreNotFound) {
  startMetaFile(meta, path);
  Headers headers;
  EXPECT_FALSE(meta.readHeaders(headers, kLastIndex + 1));
  EXPECT_FALSE(meta.readHeaders(headers, kLastIndex - 1));
  EXPECT_TRUE(meta.readHeaders(headers, kLastIndex));
}

TEST_F(QuarryDFileManagerTest, DamagedOrOversizedRecordsAreRefused) {
  startMetaFile(meta, path);
  ASSERT_TRUE(meta.writeSegmentProgress(1, kSegment + 1));
  uint32_t written = 99;
  EXPECT_FALSE(meta.readSegmentProgress(1, kSegment, written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(meta.readSegmentProgress(1, kSegment + 1, written));
  EXPECT_EQ(written, kSegment + 1);

  const std::vector<std::string> damaged = {
      "            12x34567\n",  // not a number
      "                1234 ",   // no line feed
      "99999999999999999999\n",  // beyond 32 bits
      "                    \n",  // no digits
  };
  for (const auto& record : damaged) {
    DownloadFileHandle raw(quickSettings());
    ASSERT_TRUE(raw.open(path));
    ASSERT_TRUE(raw.writeAt(QuarryDFileManager::recordOffset(2), record.data(), record.size()));
    EXPECT_FALSE(meta.readSegmentProgress(2, UINT32_MAX, written)) << record;
  }
}

TEST_F(QuarryDFileManagerTest, OperationsNeedAnOpenFile) {
  Headers headers;
  uint32_t written = 0;
  EXPECT_FALSE(meta.writeMagic());
  EXPECT_FALSE(meta.checkMagic());
  EXPECT_FALSE(meta.writeSegmentProgress(0, 1));
  EXPECT_FALSE(meta.readSegmentProgress(0, 1, written));
  EXPECT_FALSE(meta.writeHeaders(sampleHeaders(), 0));
  EXPECT_FALSE(meta.readHeaders(headers, 0));
}

TEST_F(QuarryDFileManagerTest, OpeningAMissingFileRecordsTheFileError) {
  EXPECT_FALSE(meta.open((folder / "missing")));
  EXPECT_FALSE(meta.isOpen());
  EXPECT_EQ(meta.getError().type, ERROR_FILE_SYSTEM);
}

TEST_F(QuarryDFileManagerTest, RecreateStartsAnEmptyFileAndDeleteRemovesIt) {
  startMetaFile(meta, path);
  ASSERT_TRUE(meta.recreate());
  EXPECT_TRUE(meta.isOpen());
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  ASSERT_TRUE(meta.deleteMetaFile());
  EXPECT_FALSE(meta.isOpen());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(meta.deleteMetaFile()) << "already gone";
}

TEST_F(QuarryDFileManagerTest, AFailedDeletionIsRecorded) {
  startMetaFile(meta, path);
  meta.close();
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);  // a folder in its place cannot be unlinked
  EXPECT_FALSE(meta.deleteMetaFile());
  EXPECT_EQ(meta.getError().type, ERROR_FILE_SYSTEM);
  EXPECT_EQ(meta.getError().message, "Failed to delete the file meta file.");
}

TEST_F(QuarryDFileManagerTest, RecordsWrittenWhileAnotherThreadReadsStayWhole) {
  startMetaFile(meta, path);
  std::thread writer([this] {
    for (uint32_t round = 0; round < 200; ++round) {
      for (uint32_t i = 0; i <= kLastIndex; ++i) ASSERT_TRUE(meta.writeSegmentProgress(i, round));
    }
  });
  for (int reads = 0; reads < 500; ++reads) {
    uint32_t written = 0;
    ASSERT_TRUE(meta.readSegmentProgress(reads % (kLastIndex + 1), kSegment, written));
    ASSERT_LT(written, 200u);
  }
  writer.join();
}

}  // namespace
}  // namespace gde
