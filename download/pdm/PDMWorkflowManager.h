#pragma once

#include <cstdint>

#include "download/pdm/FileDownloader.h"
#include "download/pdm/PDMContext.h"
#include "download/pdm/PDMWorkflow.h"

namespace orvel::PackageDownloadManager {

// What the states need of the manager that runs them (PDMImpl).
class PDMStateHost {
 public:
  virtual void reportProgress(int32_t state, int32_t percent, bool done) = 0;
  virtual void setAssetSize(uint64_t size) = 0;
  // Ends the run with status 2 (retryable) or 4 and sends the status event.
  virtual void setFinalStatus(const PDMStatus& record, bool withEngineDetails) = 0;
  // Ends the run with the file downloader's last engine error.
  virtual void mapTransferError() = 0;
  virtual FileDownloader& fileDownloader() = 0;
  virtual void advance() = 0;

 protected:
  ~PDMStateHost() = default;
};

// Runs one step of a state each time the manager thread calls executeState, under the manager's
// instance lock. A step finishes its state (the cursor advances), fails it (the final status ends
// the run) or leaves it to be stepped again on the next tick.
class PDMWorkflowManager final : public WorkflowManagerBase {
 public:
  explicit PDMWorkflowManager(PDMStateHost& host) : host_(host) {}
  void executeState(int32_t state, PDMContext* context) override;
  int32_t getCurrentState() const { return currentState_; }

 private:
  enum class Step { kDone, kFailed, kAgain, kHandled };

  Step transfer(int32_t state, PDMContext& context);
  void setUpTransfer(int32_t state, PDMContext& context);
  void finishTransfer(int32_t state, PDMContext& context);
  Step parseManifest(PDMContext& context);
  Step parseValidation(PDMContext& context);
  Step checkDownloadedAsset(PDMContext& context);
  Step validateAssetSignature(PDMContext& context);
  Step executeAsset(PDMContext& context);
  Step fail(int32_t code);

  PDMStateHost& host_;
  int32_t currentState_ = -1;
};

}  // namespace orvel::PackageDownloadManager
