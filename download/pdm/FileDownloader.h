#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/DownloadLibrary.h"
#include "download/pdm/documents/ValidatorBase.h"

namespace orvel::PackageDownloadManager {

// The manager's binding to the download engine: drives one engine handle through one transfer at
// a time (setup, setPreferences, setValidator, prepare, startDownload ... reset), turns engine
// results and events into a phase that the manager polls, keeps the last engine error, and checks
// each received segment against the package's validator.
//
// Threads: the manager thread calls every operation; the engine's threads call onEvent, which
// touches only the atomic phase, byte count and error fields and reads the validator, which must
// stay alive and unchanged until reset. The first setup takes a use of the process-wide engine
// library; the destructor gives it back, and the last user closes the library.
class FileDownloader final : public gde::IDleIntercept {
 public:
  enum Phase : int32_t {
    kNoHandle = 0,
    kHandleCreated = 1,
    kRequestAccepted = 2,
    kReady = 3,
    kDownloading = 4,
    kPaused = 5,
    kRetryableError = 7,
    kFatalError = 8,
    kComplete = 9,
  };
  // onEvent's answers.
  static constexpr int32_t kNoData = -7;

  explicit FileDownloader(
      const gde::DownloadSettings& settings = gde::DownloadSettings::fromEnvironment());
  ~FileDownloader() override;
  FileDownloader(const FileDownloader&) = delete;
  FileDownloader& operator=(const FileDownloader&) = delete;

  // The file to fetch; false when the engine library cannot be opened.
  bool setup(const std::string& url, const std::string& folder, const std::string& fileName);
  void setPreferences(const gde::DLEPrefStruct& preferences);
  // Also makes the engine's segment size the validator's (so call after setPreferences). Returns
  // the previous validator, null when unchanged.
  const ValidatorBase* setValidator(const ValidatorBase* validator);
  // Creates the handle, registers for the progress, segment and error events, hands the request
  // to the engine and, unless single stream, asks for the remote size. Phase 3 on success.
  bool prepare();
  bool startDownload();
  bool pause();
  bool resume();
  // Stops and closes the handle: phase 0, ready for the next setup. False when there was nothing.
  bool reset();
  void refreshCredentials(const std::string& user, const std::string& password);
  // Bytes received * 100 / remote size; 0 until prepared with a known size.
  float progressPercent() const;

  int32_t getPhase() const { return phase_.load(); }
  bool isInitialized() const { return initialized_; }
  int32_t getLastErrorType() const { return lastErrorType_.load(); }
  int32_t getLastErrorCode() const { return lastErrorCode_.load(); }
  bool isLastErrorRetryable() const { return lastErrorRetryable_.load(); }
  const std::string& getURL() const { return request_.serverfullpath; }
  uint64_t getRemoteSize() const { return remoteSize_; }

  int32_t onEvent(int32_t event, const void* data, uint32_t size) override;

 private:
  // 0 is success; anything else reads the engine's last error (when there is a handle) and fails.
  bool record(int32_t result);
  void storeError(int32_t type, int32_t code, bool retryable);
  // Moves the phase from `from` to `to` unless an engine event moved it meanwhile.
  void advancePhase(int32_t from, int32_t to);

  const gde::DownloadSettings settings_;
  gde::DLEFileDownloader* handle_ = nullptr;
  gde::DLEInputStruct request_;
  uint64_t remoteSize_ = 0;
  std::atomic<uint64_t> bytesReceived_{0};
  bool initialized_ = false;
  bool registered_ = false;  // the intercepts are on the handle
  uint8_t rangedSupported_ = 0;
  std::atomic<int32_t> phase_{kNoHandle};
  gde::DLEPrefStruct preferences_;
  std::atomic<const ValidatorBase*> validator_{nullptr};
  std::atomic<int32_t> lastErrorType_{0};
  std::atomic<int32_t> lastErrorCode_{0};
  std::atomic<bool> lastErrorRetryable_{true};
  bool holdsLibrary_ = false;
};

}  // namespace orvel::PackageDownloadManager
