#include "download/pdm/documents/DMGAsset.h"

#include "download/pdm/PDMLogger.h"

namespace orvel::PackageDownloadManager {

DMGAsset::~DMGAsset() = default;

uint32_t DMGAsset::extract() {
  pdmLog(pando::kLogError, "DMGAsset", "Disk-image extraction is not available in this build");
  return kActionFailed;
}

}  // namespace orvel::PackageDownloadManager
