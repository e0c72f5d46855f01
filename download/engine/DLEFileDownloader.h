#pragma once

#include <cstdint>

#include "download/engine/DLETypes.h"
#include "download/engine/FileDownloadManager.h"

namespace gde {

// A client's handle on one file download. Every operation forwards to the handle's
// FileDownloadManager with the same result codes and thread rules (see there). Made and destroyed
// through createFileDownloader / closeFileDownloader (DownloadLibrary.h).
class DLEFileDownloader {
 public:
  explicit DLEFileDownloader(const DownloadSettings& settings = DownloadSettings::fromEnvironment())
      : manager_(settings) {}

  int32_t init(const DLEInputStruct& request) { return manager_.init(request); }
  int32_t start() { return manager_.start(); }
  int32_t pause() { return manager_.pause(); }
  int32_t resume() { return manager_.resume(); }
  int32_t stop() { return manager_.stop(); }
  int32_t setPreference(const DLEPrefStruct& preferences) {
    return manager_.setPreference(preferences);
  }
  int32_t getRemoteFileSize(uint64_t& size, uint8_t& ranged) {
    return manager_.getRemoteFileSize(size, ranged);
  }
  int32_t getProgress(DLEProgress& out) const { return manager_.getProgress(out); }
  int32_t getLastError(DLEErrorInfo& out) const { return manager_.getLastError(out); }
  int32_t registerIntercept(int32_t event, IDleIntercept* intercept) {
    return manager_.registerIntercept(event, intercept);
  }

 private:
  FileDownloadManager manager_;
};

}  // namespace gde
