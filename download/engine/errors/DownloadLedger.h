#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/engine/DLETypes.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/errors/ErrorRetryTracker.h"

namespace gde {

// The progress and error ledger of one download: the bytes received from the network, the
// progress the client reads (bytes on disk and state), the segments still outstanding, the errors
// that running jobs post for the manager to act on, and the last error.
//
// Threads: any. Counters are atomic; the retry counts, pending errors and last error share one
// lock.
class DownloadLedger {
 public:
  explicit DownloadLedger(RetrySettings retry = {});

  // A new run: progress 0 and stopped, fresh retry counts, no pending errors.
  void startRun();

  // Errors of running jobs, acted on by the manager's dispatch.
  void postError(const EngineErrorRecord& record);
  // The action for the pending group with the smallest type (kErrorClassNone when none), its
  // public error and its key; the group is removed.
  int32_t nextErrorAction(DLEErrorInfo& out, uint32_t& key);
  void dropErrors(uint32_t key);
  // Data flowing again: the counts of the intermittent errors start over.
  void forgiveIntermittentErrors();

  void setLastError(int32_t type, const std::string& message, int32_t code, uint8_t retryable);
  void setLastError(const DLEErrorInfo& error);
  DLEErrorInfo lastError() const;
  // Classifies a failure of a client-thread operation straight into the last error.
  void classifyIntoLastError(const EngineErrorRecord& record);
  // A file system error number (or kFileErrorDiskFull/kFileErrorOther) on `path` as last error.
  void recordFileSystemError(int code, const std::string& path);

  uint64_t totalBytesReceived() const { return totalBytesReceived_.load(); }
  void addNetworkBytes(uint64_t count) { totalBytesReceived_ += count; }
  DLEProgress progress() const;
  int32_t progressState() const { return progressState_.load(); }
  void setProgressState(int32_t state) { progressState_.store(state); }
  void addProgressBytes(uint64_t count) { progressBytes_ += count; }
  // A stream starts over after a pause or an error: what it had received is no progress.
  void resetProgressBytes() { progressBytes_.store(0); }
  uint32_t outstandingSegments() const { return outstandingSegments_.load(); }
  void setOutstandingSegments(uint32_t count) { outstandingSegments_.store(count); }
  void addOutstandingSegments(uint32_t count) { outstandingSegments_ += count; }
  void segmentFinished() { outstandingSegments_ -= 1; }

 private:
  const RetrySettings retry_;
  std::atomic<uint64_t> totalBytesReceived_{0};
  std::atomic<uint64_t> progressBytes_{0};
  std::atomic<int32_t> progressState_{kDleStateStopped};
  std::atomic<uint32_t> outstandingSegments_{0};

  mutable std::mutex mutex_;
  std::unique_ptr<ErrorRetryTracker> tracker_;                        // guarded by mutex_
  std::map<uint32_t, std::vector<EngineErrorRecord>> pendingErrors_;  // guarded by mutex_
  DLEErrorInfo lastError_;                                            // guarded by mutex_
};

}  // namespace gde
