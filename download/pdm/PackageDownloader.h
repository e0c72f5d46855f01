#pragma once

#include <cstdint>
#include <memory>

#include "download/pdm/PDMImpl.h"
#include "download/pdm/PDMTypes.h"

namespace orvel::PackageDownloadManager {

// The package download manager's facade: fetches one package (workflows 0 and 2) or one file
// (workflow 1) on a manager thread of its own. The client calls init and start, polls
// getProgress and getStatus until the progress status is 2, 4 or 32, and destroys the facade,
// which cancels the run and waits for its thread. Codes and thread rules: PDMImpl.
class PackageDownloader {
 public:
  explicit PackageDownloader(const PDMSettings& settings = {})
      : impl_(std::make_unique<PDMImpl>(settings)) {}

  int32_t init(const PDMInitData& request) { return impl_->init(request); }
  int32_t start() { return impl_->start(); }
  int32_t getProgress(PDMProgress& out) const { return impl_->getProgress(out); }
  int32_t getStatus(PDMStatus& out) const { return impl_->getStatus(out); }

 private:
  std::unique_ptr<PDMImpl> impl_;
};

}  // namespace orvel::PackageDownloadManager
