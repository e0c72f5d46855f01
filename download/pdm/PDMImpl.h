#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "download/pdm/FileDownloader.h"
#include "download/pdm/PDMContext.h"
#include "download/pdm/PDMTypes.h"
#include "download/pdm/PDMWorkflow.h"
#include "download/pdm/PDMWorkflowManager.h"
#include "foundation/threads/LockableObject.h"
#include "foundation/threads/ThreadHandle.h"

namespace orvel::PackageDownloadManager {

// One package download: the request, the manager thread that runs the workflow's states one step
// per tick, the file downloader for the transfers, and the progress and status records.
//
// Threads: one client thread calls init, start, cancel, handleClientAction and destroys the
// object (these serialise on a control lock of their own); getProgress, getStatus and
// getStatusWord may be called from any thread, also from inside the intercept. The manager thread
// runs each step under the instance lock, which init, start, cancel and handleClientAction also
// take. The records sit under a small lock that is never held while calling out.
//
// Events: the intercept runs on the manager thread with the instance lock held, so it must not
// call init, start, cancel, handleClientAction or destroy the object. The record it gets is a
// copy owned by this object, valid until the next event; read it only inside the call.
class PDMImpl final : private PDMStateHost {
 public:
  enum ClientAction : int32_t { kActionPause = 0, kActionResume = 1, kActionCancel = 2 };

  explicit PDMImpl(const PDMSettings& settings = {});
  ~PDMImpl();
  PDMImpl(const PDMImpl&) = delete;
  PDMImpl& operator=(const PDMImpl&) = delete;

  // 0; -10 when the request is incomplete (logged).
  int32_t init(const PDMInitData& request);
  // 0; -40 not initialised; 30 running or paused on an error; -1 when the operation folder
  // cannot be prepared or the thread cannot be started.
  int32_t start();
  // 0; -40 not initialised. Stops the transfer; status 8 unless the run had ended.
  int32_t cancel();
  // Pauses (0), resumes (1) or cancels (2) the current transfer; the status does not change.
  void handleClientAction(int32_t action);
  int32_t getProgress(PDMProgress& out) const;
  int32_t getStatus(PDMStatus& out) const;
  int32_t getStatusWord() const { return status_.load(); }

 private:
  static void* threadEntry(void* self);
  void runManagerThread();
  // One tick; a cancel or the destruction ends it early.
  void waitTick();
  bool prepareOperation();
  bool prepareOperationFolder();
  void setStatus(int32_t status);
  void handleClientActionLocked(int32_t action);
  void sendEvent(int32_t event);
  void joinManagerThread();

  // PDMStateHost, on the manager thread under the instance lock.
  void reportProgress(int32_t state, int32_t percent, bool done) override;
  void setAssetSize(uint64_t size) override;
  void setFinalStatus(const PDMStatus& record, bool withEngineDetails) override;
  void mapTransferError() override;
  FileDownloader& fileDownloader() override { return fileDownloader_; }
  void advance() override { cursor_.advance(); }

  const PDMSettings settings_;
  PDMContext context_;  // guarded by lock_
  PDMWorkflowGenerator generator_;
  pando::ThreadHandle thread_;  // client thread only
  WorkflowCursor cursor_;       // guarded by lock_
  FileDownloader fileDownloader_;
  std::atomic<int32_t> status_{kStatusIdle};
  pando::LockableObject lock_;  // the instance lock

  std::mutex controlMutex_;  // serialises the client's calls

  mutable std::mutex recordsMutex_;  // never held while calling out
  PDMProgress progress_;             // guarded by recordsMutex_
  PDMStatus lastStatus_;             // guarded by recordsMutex_
  PDMProgress eventProgress_;        // manager thread only: what the intercept reads
  PDMStatus eventStatus_;            // manager thread only

  std::mutex wakeMutex_;
  std::condition_variable wake_;  // ends the manager thread's wait early
};

}  // namespace orvel::PackageDownloadManager
