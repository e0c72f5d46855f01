#pragma once

#include "download/pdm/documents/ActionBase.h"

namespace orvel::PackageDownloadManager {

// The "extract" action: has a compressed asset (zip, disk image) extract itself into its
// destination. On any other asset it fails.
class ExtractAction final : public ActionBase {
 public:
  static constexpr uint32_t kTypeCode = 1;

  ExtractAction() : ActionBase(kTypeCode) {}
  uint32_t execute(AssetBase* asset) override;
};

}  // namespace orvel::PackageDownloadManager
