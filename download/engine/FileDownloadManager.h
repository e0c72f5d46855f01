#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadGlobalData.h"
#include "download/engine/DownloadSettings.h"
#include "download/engine/EtagCheck.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/common/StopSignal.h"
#include "download/engine/http/HttpSession.h"
#include "download/engine/workers/AdaptiveThreadController.h"
#include "download/engine/workers/HangWatch.h"
#include "download/engine/workers/WorkerThread.h"
#include "download/engine/workers/WorkerThreadPool.h"

namespace gde {

// Drives the download of one file: cuts the range into segments with one job each, runs one
// serializer thread and a pool of downloader threads, and runs its own download thread, which
// ticks every DownloadSettings::tick to report progress, watch for hung connections, act on errors,
// adjust the number of active threads, and finish the file.
//
// Results: a DLEResult (DLETypes.h). Misuse also records a kDleErrorMisuse last error.
//
// Threads: every operation may be called from any client thread; they serialise on the manager
// lock, except getProgress and getLastError, which copy without waiting. Events 4, 7, 8, 9, 10 and
// 11 are sent on the download thread, 2 on downloader threads, 3 on the serializer, 6 (and the 8
// of a resume rebuild) on the calling thread; an intercept must not call back into the manager.
// The download thread takes the manager lock only for its error actions and the completion, and
// gives up when a stop is requested, so stop joins it outside the lock and never waits on it.
// Every wait of the download thread ends at once when the download stops, and so does an ETag
// check under the lock (resume, the fatal path): stop cancels it before it takes the lock.
class FileDownloadManager {
 public:
  explicit FileDownloadManager(
      const DownloadSettings& settings = DownloadSettings::fromEnvironment(),
      const EngineClock& clock = EngineClock::steady(), const HttpSettings& httpSettings = {});
  ~FileDownloadManager();
  FileDownloadManager(const FileDownloadManager&) = delete;
  FileDownloadManager& operator=(const FileDownloadManager&) = delete;

  int32_t init(const DLEInputStruct& request);
  int32_t start();
  int32_t pause();
  int32_t resume();
  int32_t stop();
  int32_t setPreference(const DLEPrefStruct& preferences);
  int32_t getRemoteFileSize(uint64_t& size, uint8_t& ranged);
  int32_t getProgress(DLEProgress& out) const;
  int32_t getLastError(DLEErrorInfo& out) const;
  int32_t registerIntercept(int32_t event, IDleIntercept* intercept);

 private:
  struct Run {
    StopSignal stop;
  };

  // With the lock held; the returned thread is joined by the caller after unlocking. Called on
  // the download thread itself, it keeps that thread in stoppedFromWithin_ and returns none.
  std::thread stopLocked();
  void joinUnlocked(std::unique_lock<std::mutex>& lock, std::thread thread);
  int32_t failStart(std::unique_lock<std::mutex>& lock, int32_t result);
  int32_t planSegments();
  bool startSerializer();
  int32_t stopSerializerAndClose();
  void pauseLocked();
  bool hasETagChanged();

  // The download thread.
  void downloadThreadProc(std::shared_ptr<Run> run);
  void activateFirstThreads();
  // Takes the manager lock unless the run is stopped first.
  bool lockForRun(const Run& run, std::unique_lock<std::mutex>& lock);
  bool handleDownloadError(const Run& run);
  void reportError(const Run& run, const DLEErrorInfo& info, uint32_t key);
  void failFatally(const Run& run, DLEErrorInfo info);
  void waitAndRetry(const Run& run, const DLEErrorInfo& info);
  void cancelHungJobs();
  void reportStatistics();
  void adjustActiveThreads(AdaptiveThreadController& controller);
  void complete(const Run& run);
  bool finishFile();
  void sendProgress();
  void sendLastError();

  const DownloadSettings settings_;
  const EngineClock& clock_;
  std::mutex mutex_;  // the manager lock
  std::atomic<bool> initialized_{false};
  std::atomic<int32_t> state_{kDleStateStopped};
  DownloadGlobalData data_;
  WorkerThreadPool pool_;
  std::unique_ptr<WorkerThread> serializer_;  // guarded by mutex_
  std::thread downloadThread_;                // guarded by mutex_
  std::thread stoppedFromWithin_;             // guarded by mutex_; see stopLocked
  std::shared_ptr<Run> run_;                  // guarded by mutex_
  EngineClock::TimePoint startTime_{};        // guarded by mutex_
  // Download thread only.
  HangWatch hangWatch_;
  uint32_t adjustTickCount_ = 0;
};

}  // namespace gde
