#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/pdm/PDMTypes.h"
#include "download/pdm/documents/AssetBase.h"
#include "download/pdm/documents/AssetFactory.h"
#include "download/pdm/documents/ValidatorBase.h"
#include "download/pdm/documents/ValidatorFactory.h"
#include "platform/UniqueFd.h"

namespace orvel::PackageDownloadManager {

// What every state of one package download shares: the request, the paths and URLs worked out
// along the way, the package's asset and validator. Changed under the manager's instance lock.
// Destroying it removes the operation folder that workflow 0 made, with everything in it.
struct PDMContext {
  PDMContext() = default;
  ~PDMContext();
  PDMContext(const PDMContext&) = delete;
  PDMContext& operator=(const PDMContext&) = delete;

  int32_t progressBase = 0;  // weights of the states completed so far
  bool initialized = false;
  int32_t extendedErrorCode = 0;
  PDMInitData request;
  bool prepared = false;  // the operation folder is set (once per instance)
  bool ownsOperationFolder = false;
  // Held while the folder is in use, so that no other run takes it for a leftover; released
  // after the folder is removed.
  platform::UniqueFd operationLock;
  std::string initiatorBaseURL;
  std::string operationFolder;
  std::string manifestURL;
  std::string manifestVersion;
  std::string manifestPath;
  std::string initiatorManifestText;
  std::string validationDataURL;
  std::string validationPath;
  std::string assetURL;
  std::string assetFileName;
  std::string assetPath;
  AssetFactory assetFactory;
  ValidatorFactory validatorFactory;
  std::unique_ptr<ValidatorBase> validator;
  std::unique_ptr<AssetBase> asset;
};

}  // namespace orvel::PackageDownloadManager
