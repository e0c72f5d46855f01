#include "download/pdm/PDMContext.h"

#include "download/pdm/common/PDMLogger.h"
#include "foundation/files/FileUtils.h"

namespace orvel::PackageDownloadManager {

PDMContext::~PDMContext() {
  if (ownsOperationFolder && !operationFolder.empty()) {
    FileUtils::deleteDirectory(operationFolder, true, PDMLogger::instance().getLogger());
  }
}

}  // namespace orvel::PackageDownloadManager
