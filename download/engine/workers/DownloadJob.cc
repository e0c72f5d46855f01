#include "download/engine/workers/DownloadJob.h"

#include <algorithm>
#include <cstdlib>

#include "download/engine/common/EngineLog.h"
#include "download/engine/errors/ErrorRetryTracker.h"
#include "download/engine/http/HttpCommunicator.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/SerializerBacklog.h"
#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

namespace {

constexpr const char* kComponent = "DownloadJob";
// The code of the time-out a silent single stream reports.
constexpr int32_t kSilentStreamCode = 60;

}  // namespace

bool DownloadJob::initialize(JobContext* data, std::shared_ptr<Segment> segment, uint32_t done) {
  if (!data || !segment) {
    engineLog(pando::kLogError, kComponent, "DownloadJob::initialize : invalid parameters");
    return false;
  }
  data_ = data;
  segment_ = std::move(segment);
  segmentDone_ = handedOverBytes_ = done;
  pendingBytes_ = 0;
  cancelled_.store(false);
  generation_ = segment_->generation();
  // A segment queued again after its bytes were rejected waits out its back-off first.
  scheduleRetry();
  return true;
}

void DownloadJob::scheduleRetry() {
  const uint32_t failures = segment_->failedChecks();
  setNotBefore(data_->clock().now() + data_->settings().retryWait(failures));
}

bool DownloadJob::interrupted() const {
  return cancelled_.load() || state() != kRunning;
}

void DownloadJob::onInterrupted() {
  if (HttpCommunicator* communicator = communicator_.load()) communicator->cancel();
}

bool DownloadJob::terminate() {
  int32_t current = state();
  if (current == kStopped || current == kComplete) {
    setState(kStopped);
    return true;
  }
  engineLog(pando::kLogTrace, kComponent, "forcing to terminate the download job (%d)", jobId());
  cancelled_.store(true);
  setState(kStopping);
  if (HttpCommunicator* communicator = communicator_.load()) communicator->cancel();
  return true;
}

bool DownloadJob::resetForRetry() {
  segmentDone_ = pendingBytes_ = handedOverBytes_ = 0;
  segment_->reset();
  generation_ = segment_->generation();
  cancelled_.store(false);
  return true;
}

uint32_t DownloadJob::execute(uint32_t threadIndex) {
  if (state() != kRunning) {  // a pause or stop arrived before the job began
    bool paused = state() == kPauseRequested;
    setState(kStopped);
    return paused ? kPaused : kCancelled;
  }
  threadIndex_ = threadIndex;
  lastFailureType_ = ERROR_NONE;
  failureLogged_ = true;
  HttpCommunicator& communicator = data_->communicatorFor(threadIndex);
  communicator_.store(&communicator);
  if (!data_->prepareCommunicator(communicator)) postCommunicatorError();
  bool wholeStream = segment_->length() == 0 || data_->singleStream();
  if (!wholeStream && segmentDone_ >= segment_->length()) return handOverWholeSegment();
  return fetch();
}

uint32_t DownloadJob::handOverWholeSegment() {
  engineLog(pando::kLogInfo, kComponent, "segment (%d)is already downloaded. marking it complete",
            jobId());
  if (validate(*segment_) && handOver(segment_, segment_->start() - data_->rangeStart())) {
    setState(kComplete);
    return kDone;
  }
  return finishFailed();
}

uint32_t DownloadJob::fetch() {
  bool holdsNothing = pendingBytes_ == 0 && segmentDone_ == handedOverBytes_;
  if (holdsNothing && !waitForBacklog()) return finishFailed();
  data_->activity().markJobStarted(threadIndex_);
  bool wholeStream = segment_->length() == 0 || data_->singleStream();
  bool complete =
      wholeStream ? downloadAllPendingBytesForWholeFile() : downloadAllPendingBytesForOneSegment();
  data_->activity().markJobEnded(threadIndex_);
  if (!complete) return finishFailed();
  setState(kComplete);
  return kDone;
}

bool DownloadJob::waitForBacklog() {
  return data_->backlog().waitBelowLimit([this] { return interrupted(); },
                                         data_->settings().workerIdleWait);
}

uint32_t DownloadJob::finishFailed() {
  HttpCommunicator* communicator = communicator_.load();
  if (communicator) communicator->closeStream();
  int32_t current = state();
  if (current == kPauseRequested) {
    engineLog(pando::kLogTrace, kComponent, "the download job (%d) is PAUSED", jobId());
    setState(kStopped);
    return kPaused;
  }
  if (current == kStopping) {
    engineLog(pando::kLogInfo, kComponent, "the download job (%d) is cancelled", jobId());
    setState(kStopped);
    return kCancelled;
  }
  setState(kStopped);
  if (failureLogged_) {
    engineLog(pando::kLogError, kComponent,
              "the download job (%d) failed to execute. The job state is STOPPED_STATE ", jobId());
  }
  if (gaveUp_ || ErrorRetryTracker::isFatalErrorType(lastFailureType_)) {
    setState(kError);
    engineLog(pando::kLogError, kComponent,
              "the download job (%d) failed to execute. The job state is ERROR_STATE ", jobId());
    return kFailed;
  }
  if (lastFailureType_ == http_backoff_error) {
    setState(kDelayed);
    engineLog(pando::kLogError, kComponent,
              "the download job (%d) failed to execute. The job state is PAUSED_STATE ", jobId());
    return kPaused;
  }
  if (lastFailureType_ != ERROR_NONE && lastFailureType_ != ERROR_SEGMENT_VALIDATION_FAILURE) {
    data_->transferFailed();
  }
  scheduleRetry();
  return kFailed;
}

bool DownloadJob::downloadAllPendingBytesForOneSegment() {
  HttpCommunicator& communicator = *communicator_.load();
  Segment& segment = *segment_;
  if (!communicator.initHttpDownload(segment.start() + segmentDone_, segment.lastByte())) {
    reportReadFailure("downloadAllPendingBytesForOneSegment: failed to init the http downloader");
    return false;
  }
  if (!segment.allocateBuffer()) {
    postError(ERROR_FATAL, 0, "failed to allocate memory for segment buffer");
    return false;
  }
  std::shared_ptr<uint8_t[]> buffer = segment.buffer();
  generation_ = segment.generation();
  const uint64_t fileBase = segment.start() - data_->rangeStart();
  const uint32_t pieceSize = data_->settings().pieceSize;
  while (state() == kRunning) {
    uint32_t remaining = segment.length() - segmentDone_;
    uint32_t count = 0;
    uint8_t surplus = 0;
    // Reads of at most one piece keep the transport's own buffer small.
    int result = remaining == 0
                     ? communicator.downloadRemainingData(&surplus, count, 0, 1)
                     : communicator.downloadRemainingData(buffer.get() + segmentDone_, count, 0,
                                                          std::min(remaining, pieceSize));
    if (remaining == 0 && count > 0) {
      postError(ERROR_HTTP_PARSE_FAILURE, 0, "the server sent more than the range asked for");
      return false;
    }
    if (count > 0) {
      data_->activity().markDataReceived(threadIndex_);
      data_->addNetworkBytes(count);
      segmentDone_ += count;
      pendingBytes_ += count;
      // The last bytes wait for the segment's check, so a rejected segment never completes.
      if (pendingBytes_ >= pieceSize && segmentDone_ < segment.length() &&
          !handOver(segment_, fileBase)) {
        return false;
      }
    }
    if (result == HttpCommunicator::kReadMoreData) continue;
    if (result == HttpCommunicator::kReadComplete) {
      if (segmentDone_ < segment.length()) {
        postError(ERROR_HTTP_CONNECTION_ERR, 0,
                  "the response ended before the segment's last byte");
        engineLog(pando::kLogError, kComponent, "error in downloading by job (%d)", jobId());
        return false;
      }
      return validate(segment) && handOver(segment_, fileBase);
    }
    reportReadFailure("error in downloading by job");
    return false;
  }
  return false;
}

bool DownloadJob::handOver(const std::shared_ptr<Segment>& segment, uint64_t fileBase) {
  if (pendingBytes_ == 0) return true;
  SegmentPiece piece{segment->buffer(), generation_, handedOverBytes_, pendingBytes_,
                     fileBase + handedOverBytes_};
  if (!data_->createAndAddSerializationJob(segment, jobId(), std::move(piece))) {
    engineLog(pando::kLogError, kComponent,
              "failed to create a partial serialization job for download job(%d)", jobId());
    return false;
  }
  data_->addBytesReceived(threadIndex_, pendingBytes_);
  handedOverBytes_ += pendingBytes_;
  pendingBytes_ = 0;
  return true;
}

bool DownloadJob::validate(Segment& segment) {
  SegmentEventRecord record = segment.eventRecord();
  if (data_->notifyIntercepts(kEventSegmentReceived, &record, sizeof record) == 0) return true;
  // A stream's pieces are new each time: the stream itself carries the count, and its record
  // names the stream, so the manager's count of the same key reaches the same limit.
  postError(ERROR_SEGMENT_VALIDATION_FAILURE, kSegmentCheckFailed, "", segment_->index());
  engineLog(pando::kLogError, kComponent, "download job: failed to validate the segment (%d)",
            segment.index());
  gaveUp_ = segment_->countFailedCheck() >= data_->settings().segmentCheckAttempts;
  // Pieces already on disk hold rejected bytes: the resume record must not trust them.
  segment.reset();
  if (data_->keepsResumeRecords()) data_->metaFile().writeSegmentProgress(segment.index(), 0);
  return false;
}

bool DownloadJob::downloadAllPendingBytesForWholeFile() {
  engineLog(pando::kLogInfo, kComponent, "Inside downloadAllPendingBytesForWholeFile API");
  HttpCommunicator& communicator = *communicator_.load();
  if (!communicator.initSingleStreamDownload()) {
    reportReadFailure("failed to init the http downloader for download job");
    return false;
  }
  const uint32_t pieceSize = data_->segmentSize();
  StreamProgress stream;
  stream.lastData = data_->clock().now();
  while (state() == kRunning) {
    if (!stream.piece && !startStreamPiece(stream, pieceSize)) return false;
    uint32_t count = 0;
    const int result = communicator.downloadRemainingData(
        stream.piece->buffer().get() + stream.filled, count, 0, pieceSize - stream.filled);
    if (!countStreamRead(stream, count)) return false;
    if (stream.filled == pieceSize) {
      if (!handOverStreamPiece(stream.piece, stream.filled)) return false;
      stream.piece.reset();
      ++stream.index;
    }
    if (result == HttpCommunicator::kReadMoreData) continue;
    if (result == HttpCommunicator::kReadComplete) return finishStream(stream, pieceSize);
    reportReadFailure("fatal error in downloading by job");
    return false;
  }
  return false;
}

bool DownloadJob::startStreamPiece(StreamProgress& stream, uint32_t pieceSize) {
  std::shared_ptr<Segment> piece;
  if (data_->segments().createNextSegmentInPool(stream.index, piece)) {
    piece->init(uint64_t{stream.index} * pieceSize, pieceSize, stream.index);
    if (piece->allocateBuffer()) {
      stream.piece = std::move(piece);
      stream.filled = 0;
      return true;
    }
  }
  engineLog(pando::kLogError, kComponent,
            "DownloadJob::getNewSegment : failed to create a new segment");
  postError(ERROR_FATAL, 0, "failed to create a new segment");
  return false;
}

// Bytes keep a stream alive; a stream silent for singleStreamSilence has timed out.
bool DownloadJob::countStreamRead(StreamProgress& stream, uint32_t count) {
  const EngineClock& clock = data_->clock();
  if (count > 0) {
    data_->activity().markDataReceived(threadIndex_);
    data_->addNetworkBytes(count);
    stream.filled += count;
    stream.lastData = clock.now();
    return true;
  }
  if (clock.now() - stream.lastData < data_->settings().singleStreamSilence) return true;
  engineLog(pando::kLogError, kComponent,
            "Inside downloadAllPendingBytesForWholeFile. Single stream call timed-out.");
  postError(http_timeout_error, kSilentStreamCode,
            "Either the server is not responding or the network bandwidth is too low. Try "
            "after some time.");
  return false;
}

// The last piece may be short; the stream is complete only with the size it announced.
bool DownloadJob::finishStream(StreamProgress& stream, uint32_t pieceSize) {
  if (stream.piece && stream.filled > 0) {
    stream.piece->setLength(stream.filled);
    if (!handOverStreamPiece(stream.piece, stream.filled)) {
      engineLog(pando::kLogError, kComponent, "failed to create the last chunk serialization job");
      return false;
    }
  }
  recordStreamHeaders();
  const uint64_t received = uint64_t{stream.index} * pieceSize + (stream.piece ? stream.filled : 0);
  if (!streamSizeMatches(received)) return false;
  data_->setStreamLength(received);
  data_->segmentFinished();  // the stream's own count
  return true;
}

// A read that failed on its own (not cut by a pause or stop) posts the communicator's error.
void DownloadJob::reportReadFailure(const char* what) {
  if (interrupted()) return;
  postCommunicatorError();
  EngineErrorRecord error;
  communicator_.load()->getError(error);
  const std::string text = std::string(what) + " (" + std::to_string(jobId()) + ")";
  failureLogged_ = failureLine_.log(
      pando::kLogError, std::to_string(error.type) + "/" + std::to_string(error.code), text);
}

bool DownloadJob::handOverStreamPiece(const std::shared_ptr<Segment>& piece, uint32_t length) {
  if (!validate(*piece)) return false;
  // Counted before the writer can finish it, so the count never touches 0 too early.
  data_->addOutstandingSegments(1);
  SegmentPiece bytes{piece->buffer(), piece->generation(), 0, length, piece->start()};
  if (!data_->createAndAddSerializationJob(piece, piece->index(), std::move(bytes))) {
    data_->segmentFinished();
    engineLog(pando::kLogError, kComponent, "failed to create a partial serialization job");
    return false;
  }
  data_->addBytesReceived(threadIndex_, length);
  return true;
}

// A stream is complete only with the size it announced (its own Content-Length, else the HEAD's
// when the bytes are sent as stored): fewer bytes are a cut transfer, more or a disagreement
// between the two sizes a changed file. With no size known the stream is what arrived.
bool DownloadJob::streamSizeMatches(uint64_t received) {
  HttpCommunicator& communicator = *communicator_.load();
  std::string length;
  std::string encoding;
  communicator.getResponseHeader("Content-Length", length);
  communicator.getResponseHeader("Content-Encoding", encoding);
  const uint64_t headSize = encoding.empty() ? data_->remoteFileSize() : 0;
  uint64_t expected = headSize;
  if (!length.empty()) {
    expected = std::strtoull(length.c_str(), nullptr, 10);
    if (headSize != 0 && expected != headSize) {
      postError(ERROR_FILE_CHANGED, 0, "The GET's size differs from the HEAD's.");
      return false;
    }
  }
  if (expected == 0 || received == expected) return true;
  engineLog(pando::kLogError, kComponent, "The stream ended after %llu of %llu bytes",
            static_cast<unsigned long long>(received), static_cast<unsigned long long>(expected));
  if (received > expected) {
    postError(ERROR_FILE_CHANGED, 0, "The stream sent more than its size.");
  } else {
    postError(ERROR_HTTP_CONNECTION_ERR, 0, "The response ended before the stream's last byte.");
  }
  return false;
}

void DownloadJob::recordStreamHeaders() {
  HttpCommunicator& communicator = *communicator_.load();
  std::string etag;
  std::string encoding;
  communicator.getResponseHeader("ETag", etag);
  communicator.getResponseHeader("Content-Encoding", encoding);
  if (etag.empty())
    engineLog(pando::kLogTrace, kComponent, "No ETAG header found in the single stream download.");
  data_->setResponseHeader("ETag", etag);
  data_->setResponseHeader("Content-Encoding", encoding);
  engineLog(pando::kLogTrace, kComponent,
            encoding.empty() ? "No encoding found in the single stream download response header."
                             : "Encoding found in the single stream download response header.");
}

void DownloadJob::postCommunicatorError() {
  EngineErrorRecord error;
  communicator_.load()->getError(error);
  lastFailureType_ = error.type;
  data_->postError(error);
}

void DownloadJob::postError(uint32_t type, int32_t code, const char* message,
                            uint32_t segmentIndex) {
  lastFailureType_ = type;
  EngineErrorRecord error;
  error.type = type;
  error.code = code;
  error.message = message;
  error.segmentIndex = segmentIndex;
  data_->postError(error);
}

}  // namespace gde
