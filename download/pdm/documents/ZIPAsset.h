#pragma once

#include "download/pdm/documents/CompressedAssetBase.h"

namespace orvel::PackageDownloadManager {

// A zip archive, extracted into the destination with the entries' own paths and modes; a failed
// extraction is tried again twice at once. Failures log under the tag "ZIPAsset".
class ZIPAsset final : public CompressedAssetBase {
 public:
  static constexpr int kAttempts = 3;

  ZIPAsset() : CompressedAssetBase(kAssetZip) {}
  uint32_t extract() override;
};

}  // namespace orvel::PackageDownloadManager
