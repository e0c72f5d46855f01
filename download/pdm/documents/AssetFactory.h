#pragma once

#include <memory>
#include <string>

#include "download/pdm/documents/AssetBase.h"

namespace orvel::PackageDownloadManager {

// Makes assets from "asset" elements by their type: "BINARY", "ZIP" or "DMG". Stateless; any
// thread. Null on failure, logged under the tag "AssetFactory".
class AssetFactory {
 public:
  virtual ~AssetFactory() = default;
  std::unique_ptr<AssetBase> createAsset(const std::string& xml, const std::string& baseURL) const;
};

}  // namespace orvel::PackageDownloadManager
