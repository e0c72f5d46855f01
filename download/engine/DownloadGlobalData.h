#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadPlan.h"
#include "download/engine/DownloadSettings.h"
#include "download/engine/EngineEvents.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/common/InterceptRegistry.h"
#include "download/engine/errors/DownloadLedger.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/errors/ErrorRetryTracker.h"
#include "download/engine/segments/Segment.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/AdaptiveThreadController.h"
#include "download/engine/workers/DownloadSchedule.h"
#include "download/engine/workers/JobContext.h"
#include "download/engine/workers/JobPoolContainer.h"
#include "download/engine/workers/SerializerBacklog.h"
#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

// The owner of a download's three parts: its plan (DownloadPlan), its progress and error ledger
// (DownloadLedger) and its scheduling (DownloadSchedule), plus the client's intercepts. It is the
// context the jobs see (JobContext) and hands each call to the part it concerns. Whole-download
// steps over it (SegmentPlanner, EtagCheck) sit beside it at the engine's top.
//
// Threads: init, close and the plan's client calls run on client threads under the manager's
// lock while no job runs. Jobs use the parts concurrently (see each part). Intercepts run under
// the event lock (InterceptRegistry).
class DownloadGlobalData final : public AdaptiveControllerOwner, public JobContext {
 public:
  explicit DownloadGlobalData(const DownloadSettings& settings = {},
                              const EngineClock& clock = EngineClock::steady(),
                              const HttpSettings& httpSettings = {});
  ~DownloadGlobalData() override;
  DownloadGlobalData(const DownloadGlobalData&) = delete;
  DownloadGlobalData& operator=(const DownloadGlobalData&) = delete;

  bool init(const DLEInputStruct& request) { return plan_.init(request); }
  // Closes the partial file, drops the queued jobs, segments and connections.
  bool close();

  bool registerIntercept(int32_t event, IDleIntercept* intercept);
  int32_t notifyIntercepts(int32_t event, const void* data, uint32_t size) override;

  // The three parts.
  DownloadPlan& plan() { return plan_; }
  const DownloadPlan& plan() const { return plan_; }
  DownloadLedger& ledger() { return ledger_; }
  const DownloadLedger& ledger() const { return ledger_; }
  // Job queues, segments, backlog, thread activity, connections.
  DownloadSchedule& schedule() { return schedule_; }
  JobPoolContainer& getJobPool() { return schedule_.jobs(); }

  // Jobs. `done` bytes of the segment are already on disk.
  bool createAndAddDownloadingJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                  uint32_t done, bool atFront) override;
  bool createAndAddSerializationJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                    SegmentPiece piece) override;

  // Progress and errors.
  void postError(const EngineErrorRecord& record) override { ledger_.postError(record); }
  uint64_t totalBytesReceived() const override { return ledger_.totalBytesReceived(); }
  void addNetworkBytes(uint64_t count) override;
  void transferFailed() override;
  uint32_t serializationJobsWaiting() const override;
  // Bytes a thread handed to the writer: data flowing again forgives earlier failures.
  void addBytesReceived(uint32_t threadIndex, uint64_t count) override;
  void addProgressBytes(uint64_t count) override { ledger_.addProgressBytes(count); }
  // A stream's progress starts over with the stream.
  void resetSingleStreamProgress();
  void addOutstandingSegments(uint32_t count) override { ledger_.addOutstandingSegments(count); }
  void segmentFinished() override { ledger_.segmentFinished(); }

  // The plan and the schedule as the jobs see them.
  DownloadFileHandle& getOutputFile() override { return plan_.outputFile(); }
  QuarryDFileManager& metaFile() override { return plan_.metaFile(); }
  SegmentPool& segments() override { return schedule_.segments(); }
  SerializerBacklog& backlog() override { return schedule_.backlog(); }
  ThreadActivityBoard& activity() override { return schedule_.activity(); }
  const DownloadSettings& settings() const override { return settings_; }
  const EngineClock& clock() const override { return clock_; }
  // The communicator of a downloader thread: kept across its jobs so connections are reused.
  HttpCommunicator& communicatorFor(uint32_t threadIndex) override;
  bool prepareCommunicator(HttpCommunicator& communicator) override {
    return plan_.prepareCommunicator(communicator);
  }
  bool keepsResumeRecords() const override { return plan_.keepsResumeRecords(); }
  bool singleStream() const override { return plan_.singleStream(); }
  uint32_t segmentSize() const override { return plan_.segmentSize(); }
  uint64_t remoteFileSize() const override { return plan_.remoteFileSize(); }
  void setStreamLength(uint64_t length) override { plan_.setStreamLength(length); }
  uint64_t rangeStart() const override { return plan_.rangeStart(); }
  void setResponseHeader(const std::string& name, const std::string& value) override {
    plan_.setResponseHeader(name, value);
  }

  // The retry settings of the ledger: its fatal count of rejected checks is the jobs'.
  static RetrySettings retrySettings(const DownloadSettings& settings);

 private:
  const DownloadSettings settings_;
  const EngineClock& clock_;
  InterceptRegistry intercepts_;
  DownloadLedger ledger_;
  DownloadPlan plan_;                         // reports to the ledger and the intercepts
  DownloadSchedule schedule_;                 // after everything its jobs use, so it goes first
  std::atomic<uint32_t> failedTransfers_{0};  // in a row, since data last arrived
};

}  // namespace gde
