#pragma once

#include <string>

#include "download/pdm/documents/CompressedAssetBase.h"

namespace orvel::PackageDownloadManager {

// A disk image: mounted read-only at a fresh folder under the temporary folder, its volume copied
// into the destination (which is replaced). The image stays mounted until the asset is destroyed.
class DMGAsset final : public CompressedAssetBase {
 public:
  DMGAsset() : CompressedAssetBase(kAssetDmg) {}
  ~DMGAsset() override;
  uint32_t extract() override;

 private:
  bool mounted_ = false;
  bool mountedHere_ = true;
  std::string mountPoint_;
};

}  // namespace orvel::PackageDownloadManager
