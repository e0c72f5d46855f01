#include "download/pdm/documents/ZIPAsset.h"

#include "download/pdm/common/PDMLogger.h"
#include "foundation/files/UnzipHandler.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr const char* kTag = "ZIPAsset";

bool unzipOnce(const std::string& archive, const std::string& destination) {
  UnzipHandler handler(nullptr, PDMLogger::instance().getLogger());
  return handler.extract(archive.c_str(), destination.c_str(), false, UnzipHandler::kEntryMode);
}

}  // namespace

uint32_t ZIPAsset::extract() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (unzipOnce(getLocalPath(), getDestination())) return kActionDone;
  }
  pdmLog(pando::kLogWarn, kTag,
         "Error in unZip even after %d attempts. Source Package to unzip was: %s", kAttempts,
         getLocalPath().c_str());
  pdmLog(pando::kLogWarn, kTag, "Error in creating the process for extraction.");
  return kActionFailed;
}

}  // namespace orvel::PackageDownloadManager
