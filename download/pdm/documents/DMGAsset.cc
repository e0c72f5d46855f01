#include "download/pdm/documents/DMGAsset.h"

#include "download/pdm/common/PDMLogger.h"
#include "foundation/files/FileUtils.h"
#include "foundation/system/DiskImage.h"
#include "foundation/text/StringUtils.h"

namespace orvel::PackageDownloadManager {
namespace {

constexpr int kTemporaryFolderId = 15;

// Replaces `destination` by a copy of the mounted volume's folder.
bool copyVolume(const std::string& source, const std::string& destination) {
  bool isDirectory = false;
  if (!FileUtils::fileExistsAtPathIsDirectory(source, isDirectory) || !isDirectory) return false;
  pando::AbstractLogger* logger = PDMLogger::instance().getLogger();
  if (FileUtils::fileExistsAtPathIsDirectory(destination, isDirectory) && isDirectory) {
    FileUtils::deleteDirectory(destination, true, logger);
  }
  return FileUtils::copyFile(source, destination, false, logger);
}

}  // namespace

DMGAsset::~DMGAsset() {
  // A volume that was already mounted elsewhere stays as we found it.
  if (mounted_ && mountedHere_) {
    FileUtils::detachDiskImage(mountPoint_, PDMLogger::instance().getLogger());
  }
}

uint32_t DMGAsset::extract() {
  std::string mountPoint;
  std::string uuid;
  if (!FileUtils::getSpecialFolderPath(kTemporaryFolderId, mountPoint) ||
      !StringUtils::utilCreateUUIDString(uuid) ||
      !FileUtils::appendPathComponent(mountPoint, uuid)) {
    return kActionFailed;
  }
  mounted_ = FileUtils::attachDiskImage(getLocalPath(), mountPoint, mountPoint_, mountedHere_,
                                        PDMLogger::instance().getLogger());
  return mounted_ && copyVolume(mountPoint_, getDestination()) ? kActionDone : kActionFailed;
}

}  // namespace orvel::PackageDownloadManager
