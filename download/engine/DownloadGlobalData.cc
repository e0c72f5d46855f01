#include "download/engine/DownloadGlobalData.h"

#include "download/engine/common/EngineLog.h"
#include "download/engine/workers/DownloadJob.h"
#include "download/engine/workers/FileSerializerJob.h"

namespace gde {

namespace {

constexpr const char* kComponent = "DownloadGlobalData";

}  // namespace

DownloadGlobalData::DownloadGlobalData(const DownloadSettings& settings, const EngineClock& clock,
                                       const HttpSettings& httpSettings)
    : settings_(settings),
      clock_(clock),
      ledger_(retrySettings(settings)),
      plan_(settings_, clock, httpSettings, ledger_, intercepts_),
      schedule_(settings, clock) {}

// The manager's count of rejected checks ends the download where the jobs stop refetching.
RetrySettings DownloadGlobalData::retrySettings(const DownloadSettings& settings) {
  RetrySettings retry;
  retry.segmentFatalAt = settings.segmentCheckAttempts;
  return retry;
}

DownloadGlobalData::~DownloadGlobalData() {
  close();
}

bool DownloadGlobalData::close() {
  plan_.close();
  schedule_.clear();
  return true;
}

bool DownloadGlobalData::registerIntercept(int32_t event, IDleIntercept* intercept) {
  if (intercept) return intercepts_.add(event, intercept);
  ledger_.setLastError(kDleErrorMisuse, "target object is null", 0, 1);
  engineLog(pando::kLogWarn, kComponent,
            "DownloadGlobalData::addDLEIntercept : invalid param. intercept is null");
  return false;
}

int32_t DownloadGlobalData::notifyIntercepts(int32_t event, const void* data, uint32_t size) {
  return intercepts_.notify(event, data, size);
}

// ---- Jobs ----

bool DownloadGlobalData::createAndAddDownloadingJob(const std::shared_ptr<Segment>& segment,
                                                    uint32_t jobId, uint32_t done, bool atFront) {
  if (!segment) {
    engineLog(pando::kLogError, kComponent,
              "JobPoolContainer::createAndAddDownloadingJob : invalid param");
    return false;
  }
  auto job = std::make_unique<DownloadJob>(jobId);
  if (!job->initialize(this, segment, done)) return false;
  const bool queued = schedule_.queueDownload(std::move(job), atFront);
  if (!queued) {
    engineLog(pando::kLogError, kComponent,
              "DownloadGlobalData::createAndAddSerializationJob : failed to create a job");
  }
  return queued;
}

bool DownloadGlobalData::createAndAddSerializationJob(const std::shared_ptr<Segment>& segment,
                                                      uint32_t jobId, SegmentPiece piece) {
  if (!segment) {
    engineLog(pando::kLogError, kComponent,
              "JobPoolContainer::createAndAddSerializationJob : invalid param");
    return false;
  }
  auto job = std::make_unique<FileSerializerJob>(jobId);
  const uint32_t length = piece.length;
  if (!job->initialize(this, segment, std::move(piece))) return false;
  if (!schedule_.queueSerialization(std::move(job), length)) {
    engineLog(pando::kLogError, kComponent,
              "DownloadGlobalData::createAndAddSerializationJob : failed to create a job");
    return false;
  }
  return true;
}

// ---- Counters and activity ----

uint32_t DownloadGlobalData::serializationJobsWaiting() const {
  return schedule_.jobs().count(JobPoolContainer::kSerialization);
}

void DownloadGlobalData::addNetworkBytes(uint64_t count) {
  if (count > 0) failedTransfers_.store(0);
  ledger_.addNetworkBytes(count);
}

// One back-off for the whole download: every queued segment would meet the same refusal, so a
// thread that took the next segment at once would only repeat the failure.
void DownloadGlobalData::transferFailed() {
  const uint32_t failures = ++failedTransfers_;
  schedule_.jobs().holdUntil(JobPoolContainer::kDownload,
                             clock_.now() + settings_.connectRetryWaitAfter(failures));
}

void DownloadGlobalData::addBytesReceived(uint32_t threadIndex, uint64_t count) {
  schedule_.activity().addBytesReceived(threadIndex, count);
  // A stream starts over after each failure: bytes it receives again are no progress, and
  // forgiving its failures for them would retry a stream that is always cut for ever.
  if (plan_.singleStream()) return;
  ledger_.forgiveIntermittentErrors();
}

void DownloadGlobalData::resetSingleStreamProgress() {
  if (plan_.singleStream()) ledger_.resetProgressBytes();
}

HttpCommunicator& DownloadGlobalData::communicatorFor(uint32_t threadIndex) {
  return schedule_.communicatorFor(threadIndex, [this] {
    return std::make_unique<HttpCommunicator>(&plan_.session(), &plan_.preference());
  });
}

}  // namespace gde
