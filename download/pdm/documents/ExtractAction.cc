#include "download/pdm/documents/ExtractAction.h"

#include "download/pdm/documents/CompressedAssetBase.h"

namespace orvel::PackageDownloadManager {

uint32_t ExtractAction::execute(AssetBase* asset) {
  auto* compressed = dynamic_cast<CompressedAssetBase*>(asset);
  if (compressed == nullptr) return kActionFailed;
  switch (compressed->extract()) {
    case kActionFailed:
      return kActionFailed;
    case kActionInProgress:
      return kActionInProgress;
    default:
      return kActionDone;
  }
}

}  // namespace orvel::PackageDownloadManager
