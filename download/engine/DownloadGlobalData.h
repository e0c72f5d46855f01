#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadPreference.h"
#include "download/engine/DownloadSettings.h"
#include "download/engine/EngineEvents.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/common/InterceptRegistry.h"
#include "download/engine/errors/DownloadLedger.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/errors/ErrorRetryTracker.h"
#include "download/engine/files/DownloadFileHandle.h"
#include "download/engine/http/HttpCommunicator.h"
#include "download/engine/http/HttpSession.h"
#include "download/engine/http/RequestGate.h"
#include "download/engine/resume/QuarryDFileManager.h"
#include "download/engine/segments/Segment.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/AdaptiveThreadController.h"
#include "download/engine/workers/DownloadSchedule.h"
#include "download/engine/workers/JobContext.h"
#include "download/engine/workers/JobPoolContainer.h"
#include "download/engine/workers/SerializerBacklog.h"
#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

// The download's description and plan, and the owner of its other two parts. The plan: the
// resolved request and preferences, the remote size and ETag, the byte range, the fresh-start or
// resume decision, the partial and meta files, and the finish (rename or inflate). It owns the
// progress and error ledger (DownloadLedger) and the scheduling (DownloadSchedule), and is the
// context the jobs see (JobContext). Whole-download steps over it (SegmentPlanner, EtagCheck)
// sit beside it at the engine's top.
//
// Threads: init, initializeFileDownload, setPreference, close and cleanup run on client threads
// under the manager's lock while no job runs. Jobs read the preference and update the ledger,
// activity and response headers concurrently (see each part). Intercepts run under the event
// lock (InterceptRegistry).
class DownloadGlobalData final : public AdaptiveControllerOwner, public JobContext {
 public:
  explicit DownloadGlobalData(const DownloadSettings& settings = {},
                              const EngineClock& clock = EngineClock::steady(),
                              const HttpSettings& httpSettings = {});
  ~DownloadGlobalData() override;
  DownloadGlobalData(const DownloadGlobalData&) = delete;
  DownloadGlobalData& operator=(const DownloadGlobalData&) = delete;

  bool init(const DLEInputStruct& request);
  bool isInitialized() const { return initialized_.load(); }
  // Closes the partial file, drops the queued jobs, segments and connections.
  bool close();
  // A fresh proxy source; communicators that still hold the old one keep it until they finish.
  void renewSession();
  bool initializeFileDownload();
  bool retrieveRemoteFileSize();
  bool setPreference(const DLEPrefStruct& preferences);

  bool registerIntercept(int32_t event, IDleIntercept* intercept);
  int32_t notifyIntercepts(int32_t event, const void* data, uint32_t size) override;

  // Jobs. `done` bytes of the segment are already on disk.
  bool createAndAddDownloadingJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                  uint32_t done, bool atFront) override;
  bool createAndAddSerializationJob(const std::shared_ptr<Segment>& segment, uint32_t jobId,
                                    SegmentPiece piece) override;

  // The progress and error ledger.
  DownloadLedger& ledger() { return ledger_; }
  const DownloadLedger& ledger() const { return ledger_; }
  void postError(const EngineErrorRecord& record) override { ledger_.postError(record); }
  uint64_t totalBytesReceived() const override { return ledger_.totalBytesReceived(); }
  void addNetworkBytes(uint64_t count) override { ledger_.addNetworkBytes(count); }
  uint32_t serializationJobsWaiting() const override;
  // Bytes a thread handed to the writer: data flowing again forgives earlier failures.
  void addBytesReceived(uint32_t threadIndex, uint64_t count) override;
  void addProgressBytes(uint64_t count) override { ledger_.addProgressBytes(count); }
  // A stream's progress starts over with the stream.
  void resetSingleStreamProgress();
  void addOutstandingSegments(uint32_t count) override { ledger_.addOutstandingSegments(count); }
  void segmentFinished() override { ledger_.segmentFinished(); }

  std::string responseHeader(const std::string& name) const;
  void setResponseHeader(const std::string& name, const std::string& value) override;

  // Finishing.
  bool cleanup();
  bool moveDownloadedFile(const std::string& name);
  bool gunzipDownloadedFile(const std::string& name);
  // A new resume meta file (magic and headers, no records) for the current download. Failures
  // are logged only: the download then goes on without one.
  void writeNewMetaFile();

  // Accessors for the manager and the jobs.
  // The scheduling: job queues, segments, backlog, thread activity, connections.
  DownloadSchedule& schedule() { return schedule_; }
  JobPoolContainer& getJobPool() { return schedule_.jobs(); }
  DownloadPreference& getPreference() { return preference_; }
  DownloadFileHandle& getOutputFile() override { return outputFile_; }
  QuarryDFileManager& metaFile() override { return metaFile_; }
  SegmentPool& segments() override { return schedule_.segments(); }
  HttpSession& session() { return session_; }
  // The gate of the requests made under the manager lock: a stop cancels through it.
  RequestGate& requestGate() { return requestGate_; }
  SerializerBacklog& backlog() override { return schedule_.backlog(); }
  ThreadActivityBoard& activity() override { return schedule_.activity(); }
  const DownloadSettings& settings() const override { return settings_; }
  const EngineClock& clock() const override { return clock_; }
  // The communicator of a downloader thread: kept across its jobs so connections are reused.
  HttpCommunicator& communicatorFor(uint32_t threadIndex) override;
  bool prepareCommunicator(HttpCommunicator& communicator) override;
  bool keepsResumeRecords() const override;
  bool singleStream() const override { return preference_.singleStreamInEffect != 0; }
  uint32_t segmentSize() const override { return preference_.prefs.segmentSize; }
  uint64_t remoteFileSize() const override { return remoteFileSize_; }
  // The bytes a finished single stream received: its file is cut to this length.
  uint64_t streamLength() const { return streamLength_.load(); }
  void setStreamLength(uint64_t length) override { streamLength_.store(length); }
  uint64_t rangeStart() const override { return rangeStart_; }
  uint64_t rangeByteCount() const { return rangeByteCount_; }
  bool singleStreamRequested() const { return singleStreamRequested_; }

  // Fills the last error from a file system error on `path` and logs `message`.
  void recordFileSystemError(int code, const std::string& path, const std::string& message);
  // The retry settings of the ledger: its fatal count of rejected checks is the jobs'.
  static RetrySettings retrySettings(const DownloadSettings& settings);

 private:
  bool prepareStreamOrSize();
  bool planFromServer(HttpCommunicator& communicator);
  bool requestRemoteSize(HttpCommunicator& communicator, uint64_t& size);
  void publishHeadReply(HttpCommunicator& communicator, uint64_t size);
  bool decideSingleStream(HttpCommunicator& communicator, uint64_t size);
  bool validateRange();
  bool decideResume();
  bool targetTaken();
  bool prepareFreshFiles();
  bool createPartialFile(const std::string& path);
  std::map<std::string, std::string> currentResumeHeaders() const;
  std::string finishSource() const;
  std::string finishTarget(const std::string& name) const;
  // The last error for a target name that is taken; `verb` is what could not be done.
  void recordNameClash(const char* verb);

  const DownloadSettings settings_;
  const EngineClock& clock_;
  DownloadPreference preference_;
  InterceptRegistry intercepts_;
  DownloadFileHandle outputFile_;
  std::atomic<bool> initialized_{false};
  bool dirCreated_ = false;
  bool fileCreated_ = true;
  bool sizeRetrieved_ = false;
  HttpSession session_;
  RequestGate requestGate_;
  QuarryDFileManager metaFile_;
  uint64_t remoteFileSize_ = 0;
  std::atomic<uint64_t> streamLength_{0};
  uint64_t rangeStart_ = 0;
  uint64_t rangeByteCount_ = 0;
  bool singleStreamRequested_ = false;

  DownloadLedger ledger_;
  DownloadSchedule schedule_;  // after everything its jobs use, so it goes first

  mutable std::mutex headersMutex_;
  std::map<std::string, std::string> responseHeaders_;  // guarded by headersMutex_
};

}  // namespace gde
