#pragma once

#include "download/pdm/documents/AssetBase.h"

namespace orvel::PackageDownloadManager {

// An asset whose contents are unpacked into its destination by an extract action.
class CompressedAssetBase : public AssetBase {
 public:
  // kActionDone, kActionInProgress or kActionFailed.
  virtual uint32_t extract() = 0;

 protected:
  using AssetBase::AssetBase;
};

}  // namespace orvel::PackageDownloadManager
