#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "download/engine/common/EngineClock.h"
#include "download/engine/common/RepeatedLine.h"
#include "download/engine/segments/Segment.h"
#include "download/engine/workers/BaseJob.h"
#include "download/engine/workers/JobContext.h"

namespace gde {

class HttpCommunicator;

// Fetches one segment with a ranged GET (or, for a segment of length 0 or in single-stream mode,
// the whole file with one plain GET cut into segment-sized pieces) into the segment's buffer, and
// hands the bytes to the serializer in pieces of DownloadSettings::pieceSize.
//
// Soundness rules:
//   - the segment's bytes are validated (event 2) before its last piece is handed over, so a
//     rejected segment is never counted complete;
//   - a response that ends before the segment's last byte is a transfer error, retried like a
//     dropped connection; the communicator refuses any answer but 206 with the asked range;
//   - before a new segment starts, the job waits while the serializer's backlog is full;
//   - in single-stream mode each piece is counted as outstanding before it is handed over;
//   - a segment whose bytes were rejected waits in the queue before it is fetched again
//     (DownloadSettings::retryWait, its notBefore), so the worker fetches other segments
//     meanwhile; after segmentCheckAttempts rejections the job ends in kError, so it is not
//     queued again, whenever the manager reads the errors.
// Failures are posted to the shared data's pending errors. The job uses the communicator of the
// worker thread that runs it, so consecutive segments reuse the connection.
//
// Threads: execute runs on one worker thread; terminate, pauseJob and stopJob may come from any
// thread and wake a read in progress.
class DownloadJob final : public BaseJob {
 public:
  explicit DownloadJob(uint32_t jobId) : BaseJob(jobId) {}

  // Both required; `done` bytes of the segment are already on disk.
  bool initialize(JobContext* data, std::shared_ptr<Segment> segment, uint32_t done);
  uint32_t execute(uint32_t threadIndex) override;
  bool terminate() override;
  bool resetForRetry() override;

 protected:
  void onInterrupted() override;

 private:
  uint32_t fetch();
  uint32_t finishFailed();
  uint32_t handOverWholeSegment();
  bool downloadAllPendingBytesForOneSegment();
  // The whole file in one plain GET, cut into pieces of the segment size.
  struct StreamProgress {
    std::shared_ptr<Segment> piece;  // the piece being filled, null between pieces
    uint32_t index = 0;              // its index in the stream
    uint32_t filled = 0;             // its bytes received
    EngineClock::TimePoint lastData{};
  };
  bool downloadAllPendingBytesForWholeFile();
  bool startStreamPiece(StreamProgress& stream, uint32_t pieceSize);
  bool countStreamRead(StreamProgress& stream, uint32_t count);
  bool finishStream(StreamProgress& stream, uint32_t pieceSize);
  void reportReadFailure(const char* what);
  bool waitForBacklog();
  // Sets notBefore: now plus the back-off the job's failures earned.
  void scheduleRetry();
  bool handOver(const std::shared_ptr<Segment>& segment, uint64_t fileBase);
  bool validate(Segment& segment);
  bool handOverStreamPiece(const std::shared_ptr<Segment>& piece, uint32_t length);
  bool streamSizeMatches(uint64_t received);
  void recordStreamHeaders();
  void postCommunicatorError();
  void postError(uint32_t type, int32_t code, const char* message, uint32_t segmentIndex = 0);
  bool interrupted() const;

  JobContext* data_ = nullptr;
  std::shared_ptr<Segment> segment_;
  std::atomic<HttpCommunicator*> communicator_{nullptr};  // the running thread's
  std::atomic<bool> cancelled_{false};
  uint32_t threadIndex_ = 0;
  uint32_t segmentDone_ = 0;                 // bytes of the segment received (or on disk)
  uint32_t pendingBytes_ = 0;                // received, not yet handed over
  uint32_t handedOverBytes_ = 0;             // offset up to which pieces exist
  uint64_t generation_ = 0;                  // the segment generation this job fills
  uint32_t lastFailureType_ = 0;             // the EngineErrorType this job posted last
  RepeatedLine failureLine_{"DownloadJob"};  // one line for a failure each attempt repeats
  bool failureLogged_ = false;               // the last failure was not such a repeat
  bool gaveUp_ = false;                      // the segment failed its check too often
};

}  // namespace gde
