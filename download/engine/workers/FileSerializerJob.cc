#include "download/engine/workers/FileSerializerJob.h"

#include "download/engine/common/EngineLog.h"
#include "download/engine/files/DownloadFileHandle.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/SerializerBacklog.h"

namespace gde {

namespace {
constexpr const char* kComponent = "FileSerializerJob";
}  // namespace

FileSerializerJob::~FileSerializerJob() {
  if (initialized_) data_->backlog().release(piece_.length);
}

bool FileSerializerJob::initialize(SerializerContext* data, std::shared_ptr<Segment> segment,
                                   SegmentPiece piece) {
  if (!data || !segment || !piece.buffer) {
    engineLog(pando::kLogError, kComponent, "DownloadJob::initialize : invalid parameters");
    return false;
  }
  data_ = data;
  segment_ = std::move(segment);
  piece_ = std::move(piece);
  initialized_ = true;
  return true;
}

uint32_t FileSerializerJob::execute(uint32_t /*threadIndex*/) {
  if (!initialized_) return kFailed;
  setState(kRunning);
  DownloadFileHandle& file = data_->getOutputFile();
  const bool records = data_->keepsResumeRecords();
  const uint32_t index = segment_->index();
  Segment::PieceResult result = segment_->writePiece(
      piece_.generation, piece_.bufferOffset, piece_.length,
      [&] {
        return file.writeSegment(piece_.fileOffset, piece_.buffer.get() + piece_.bufferOffset,
                                 piece_.length);
      },
      [&](uint32_t prefix) {
        if (records) data_->metaFile().writeSegmentProgress(index, prefix);
      });
  if (result == Segment::PieceResult::kFailed) {
    error_ = file.getError();
    error_.segmentIndex = index;
    data_->postError(error_);
    engineLog(pando::kLogError, kComponent, "the fileS job (%d) failed to execute ", jobId());
    setState(kStopped);
    return kFailed;
  }
  if (result == Segment::PieceResult::kCompleted) finishSegment();
  setState(kComplete);
  return kDone;
}

void FileSerializerJob::finishSegment() {
  SegmentEventRecord record = segment_->eventRecord();
  if (data_->notifyIntercepts(kEventSegmentWritten, &record, sizeof record) != 0) {
    restartRejectedSegment();
    return;
  }
  data_->addProgressBytes(segment_->length());
  data_->segments().freeSegmentInPool(segment_->index(), segment_.get());
  data_->segmentFinished();
}

void FileSerializerJob::restartRejectedSegment() {
  const uint32_t index = segment_->index();
  EngineErrorRecord rejection;
  rejection.type = ERROR_SEGMENT_VALIDATION_FAILURE;
  rejection.code = kSegmentCheckFailed;
  rejection.segmentIndex = index;
  data_->postError(rejection);
  engineLog(pando::kLogError, kComponent, "failed to validate the segment (%d)", index);
  segment_->reset();
  if (data_->keepsResumeRecords()) data_->metaFile().writeSegmentProgress(index, 0);
  const uint32_t failures = segment_->countFailedCheck();
  if (failures >= data_->settings().segmentCheckAttempts) return;  // the manager ends it
  std::shared_ptr<Segment> again = segment_;
  if (data_->singleStream()) {
    // A stream cannot fetch one piece again: the whole stream is fetched anew instead, and this
    // piece's count is handed to the new stream.
    again = std::make_shared<Segment>();
    again->init(0, 0, 0);
    while (again->failedChecks() < failures) again->countFailedCheck();
  }
  if (!data_->createAndAddDownloadingJob(again, index, 0, true)) {
    engineLog(pando::kLogError, kComponent, "failed to create a new downloading job. Fatal Error");
  }
}

}  // namespace gde
