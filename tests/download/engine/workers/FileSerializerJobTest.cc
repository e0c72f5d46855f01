#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "download/engine/files/DownloadFileHandle.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/FileSerializerJob.h"
#include "download/engine/workers/SerializerBacklog.h"
#include "tests/download/engine/support/FolderFiles.h"

namespace gde {
namespace {

// The serializer's download in memory: a real partial file, no server, no threads.
class MemoryDownload final : public SerializerContext {
 public:
  explicit MemoryDownload(const std::string& partial) { file.open(partial); }

  const DownloadSettings& settings() const override { return settings_; }
  bool singleStream() const override { return false; }
  DownloadFileHandle& getOutputFile() override { return file; }
  QuarryDFileManager& metaFile() override { return meta_; }
  bool keepsResumeRecords() const override { return false; }
  SerializerBacklog& backlog() override { return backlog_; }
  SegmentPool& segments() override { return pool; }
  bool createAndAddDownloadingJob(const std::shared_ptr<Segment>&, uint32_t, uint32_t,
                                  bool) override {
    ++requeued;
    return true;
  }
  void postError(const EngineErrorRecord& record) override { errors.push_back(record); }
  void addProgressBytes(uint64_t count) override { progress += count; }
  void segmentFinished() override { ++finished; }
  int32_t notifyIntercepts(int32_t event, const void*, uint32_t) override {
    written += event == kEventSegmentWritten;
    return rejectWritten ? -5 : 0;
  }

  DownloadFileHandle file;
  SegmentPool pool;
  bool rejectWritten = false;
  int written = 0, requeued = 0, finished = 0;
  uint64_t progress = 0;
  std::vector<EngineErrorRecord> errors;

 private:
  DownloadSettings settings_;
  QuarryDFileManager meta_;
  SerializerBacklog backlog_{1 << 20};
};

class FileSerializerJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    partial_ = writeIn(folder_, "out.partial", std::string(16, '.'));
    download_ = std::make_unique<MemoryDownload>(partial_);
    segment_ = std::make_shared<Segment>();
    segment_->init(8, 8, 1);
    ASSERT_TRUE(segment_->allocateBuffer());
    std::memcpy(segment_->buffer().get(), "abcdefgh", 8);
  }
  // Writes bytes [offset, offset + length) of the segment as one piece of `generation`.
  uint32_t write(uint32_t offset, uint32_t length, uint64_t generation,
                 std::shared_ptr<uint8_t[]> bytes = nullptr) {
    FileSerializerJob job(1);
    SegmentPiece piece{bytes ? bytes : segment_->buffer(), generation, offset, length, 8 + offset};
    EXPECT_TRUE(job.initialize(download_.get(), segment_, piece));
    return job.execute(0);
  }

  wendtest::TemporaryFolder folder_;
  std::string partial_;
  std::unique_ptr<MemoryDownload> download_;
  std::shared_ptr<Segment> segment_;
};

TEST_F(FileSerializerJobTest, TheLastPieceInAnyOrderCompletesTheSegmentOnce) {
  const uint64_t generation = segment_->generation();
  EXPECT_EQ(write(4, 4, generation), BaseJob::kDone);
  EXPECT_EQ(download_->written, 0);
  EXPECT_EQ(write(0, 4, generation), BaseJob::kDone);
  EXPECT_EQ(download_->written, 1);
  EXPECT_EQ(download_->progress, 8u);
  EXPECT_EQ(download_->finished, 1);
  EXPECT_EQ(wendtest::readFile(partial_), "........abcdefgh");
}

TEST_F(FileSerializerJobTest, APieceOfAnEarlierGenerationIsDroppedUnwritten) {
  const uint64_t old = segment_->generation();
  const std::shared_ptr<uint8_t[]> bytes = segment_->buffer();
  segment_->reset();
  EXPECT_EQ(write(0, 8, old, bytes), BaseJob::kDone);
  EXPECT_EQ(download_->written, 0);
  EXPECT_EQ(wendtest::readFile(partial_), std::string(16, '.'));
}

TEST_F(FileSerializerJobTest, ARejectedSegmentIsQueuedAgainUntilItsChecksRunOut) {
  download_->rejectWritten = true;
  const uint32_t attempts = DownloadSettings{}.segmentCheckAttempts;
  for (uint32_t i = 0; i < attempts; ++i) {
    ASSERT_TRUE(segment_->allocateBuffer());
    std::memcpy(segment_->buffer().get(), "abcdefgh", 8);
    EXPECT_EQ(write(0, 8, segment_->generation()), BaseJob::kDone);
  }
  EXPECT_EQ(download_->requeued, static_cast<int>(attempts) - 1);
  ASSERT_EQ(download_->errors.size(), attempts);
  EXPECT_EQ(download_->errors.back().type, ERROR_SEGMENT_VALIDATION_FAILURE);
  EXPECT_EQ(download_->errors.back().segmentIndex, 1u);
  EXPECT_EQ(download_->finished, 0);
}

}  // namespace
}  // namespace gde
