#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadPreference.h"
#include "download/engine/DownloadSettings.h"
#include "download/engine/EngineEvents.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/common/InterceptRegistry.h"
#include "download/engine/errors/DownloadLedger.h"
#include "download/engine/files/DownloadFileHandle.h"
#include "download/engine/http/HttpCommunicator.h"
#include "download/engine/http/HttpSession.h"
#include "download/engine/http/RequestGate.h"
#include "download/engine/resume/QuarryDFileManager.h"

namespace gde {

// The download's description and plan: the resolved request and preferences, the remote size and
// ETag, the byte range, the fresh-start or resume decision, the partial and meta files, and the
// finish (rename or inflate). Failures go to the ledger it is given; the ETag goes to the
// intercepts as event 1. Both must outlive the plan.
//
// Threads: init, initializeFileDownload, retrieveRemoteFileSize, setPreference, close, cleanup
// and the finishing calls run on client threads under the manager's lock while no job runs; a
// stop may cancel the requests they make through requestGate() from another thread. Jobs then
// read the plan, write through the files, and set the stream length and response headers
// concurrently (both guarded here).
class DownloadPlan final {
 public:
  DownloadPlan(const DownloadSettings& settings, const EngineClock& clock,
               const HttpSettings& httpSettings, DownloadLedger& ledger,
               InterceptRegistry& intercepts);
  DownloadPlan(const DownloadPlan&) = delete;
  DownloadPlan& operator=(const DownloadPlan&) = delete;

  bool init(const DLEInputStruct& request);
  bool isInitialized() const { return initialized_.load(); }
  // Closes the partial and meta files.
  void close();
  // A fresh proxy source; communicators that still hold the old one keep it until they finish.
  void renewSession() { session_.init(); }
  bool setPreference(const DLEPrefStruct& preferences) { return preference_.validate(preferences); }
  // Sizes the download, fixes its range, decides between resuming and starting afresh, and
  // opens the partial file.
  bool initializeFileDownload();
  bool retrieveRemoteFileSize();

  // The part of the remote file to fetch. Leaves `range` alone and returns the error type
  // (kDleErrorPartialDownloadImpossible or kDleErrorMisuse) when the request cannot be met.
  struct ByteRange {
    uint64_t start = 0;
    uint64_t count = 0;
  };
  static int32_t chooseRange(uint64_t start, uint64_t count, uint64_t size, bool singleStream,
                             ByteRange& range);

  // Finishing.
  bool cleanup();
  bool moveDownloadedFile(const std::string& name);
  // Inflates the streamed file into the target; the streamed file goes whatever the outcome.
  bool gunzipDownloadedFile(const std::string& name);
  // A new resume meta file (magic and headers, no records) for the current download. Failures
  // are logged only: the download then goes on without one.
  void writeNewMetaFile();
  // Fills the last error from a file system error on `path` and logs `message`.
  void recordFileSystemError(int code, const std::string& path, const std::string& message);

  std::string responseHeader(const std::string& name) const;
  void setResponseHeader(const std::string& name, const std::string& value);

  DownloadPreference& preference() { return preference_; }
  const DownloadPreference& preference() const { return preference_; }
  DownloadFileHandle& outputFile() { return outputFile_; }
  QuarryDFileManager& metaFile() { return metaFile_; }
  HttpSession& session() { return session_; }
  // The gate of the requests made under the manager lock: a stop cancels through it.
  RequestGate& requestGate() { return requestGate_; }
  // Binds a communicator to the session and preferences.
  bool prepareCommunicator(HttpCommunicator& communicator) {
    return communicator.init(&session_, &preference_);
  }
  bool keepsResumeRecords() const;
  bool singleStream() const { return preference_.singleStreamInEffect != 0; }
  uint32_t segmentSize() const { return preference_.prefs.segmentSize; }
  uint64_t remoteFileSize() const { return remoteFileSize_; }
  // The bytes a finished single stream received: its file is cut to this length.
  uint64_t streamLength() const { return streamLength_.load(); }
  void setStreamLength(uint64_t length) { streamLength_.store(length); }
  uint64_t rangeStart() const { return rangeStart_; }
  uint64_t rangeByteCount() const { return rangeByteCount_; }
  bool singleStreamRequested() const { return singleStreamRequested_; }

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
  // Every retry wait of the files is made here: a stop waiting for the manager lock ends it.
  bool createPartialFile(const std::string& path);
  StoppableWait stoppableWait();
  std::map<std::string, std::string> currentResumeHeaders() const;
  std::string finishSource() const;
  std::string finishTarget(const std::string& name) const;
  // The last error for a target name that is taken; `verb` is what could not be done.
  void recordNameClash(const char* verb);

  const DownloadSettings& settings_;
  const EngineClock& clock_;
  DownloadLedger& ledger_;
  InterceptRegistry& intercepts_;
  DownloadPreference preference_;
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

  mutable std::mutex headersMutex_;
  std::map<std::string, std::string> responseHeaders_;  // guarded by headersMutex_
};

}  // namespace gde
