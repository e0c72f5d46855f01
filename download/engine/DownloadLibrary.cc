#include "download/engine/DownloadLibrary.h"

#include <new>

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {
constexpr const char* kComponent = "DownloadLibrary";
constexpr const char* kVersion = "4.0.0.44";
}  // namespace

int32_t initDownloadLibrary(DLELibRef** slot) {
  if (!slot) return kDleResultInvalidArgument;
  if (*slot) {
    engineLog(pando::kLogInfo, kComponent, "lib ref already initialized");
    return kDleResultAlreadyDone;
  }
  // One log reference per library reference, given back by endDownloadLibrary.
  EngineLog::open();
  engineLog(pando::kLogInfo, kComponent, "*******************start of Download****************");
  engineLog(pando::kLogInfo, kComponent, "GDE Version is %s", kVersion);
  *slot = new (std::nothrow) DLELibRef;
  if (*slot) return kDleResultOk;
  EngineLog::close();
  return kDleResultFailed;
}

int32_t createFileDownloaderWithSettings(DLELibRef* library, DLEFileDownloader** slot,
                                         const DownloadSettings& settings) {
  if (!library || !slot) {
    engineLog(pando::kLogError, kComponent, "createFileDownloader: invalid param");
    return kDleResultInvalidArgument;
  }
  if (*slot) return kDleResultAlreadyDone;
  *slot = new (std::nothrow) DLEFileDownloader(settings);
  if (*slot) return kDleResultOk;
  engineLog(pando::kLogError, kComponent, "failed to create file downloader");
  return kDleResultFailed;
}

int32_t createFileDownloader(DLELibRef* library, DLEFileDownloader** slot) {
  return createFileDownloaderWithSettings(library, slot, DownloadSettings::fromEnvironment());
}

int32_t closeFileDownloader(DLEFileDownloader** slot) {
  if (!slot || !*slot) {
    engineLog(pando::kLogError, kComponent, "closeFileDownloader: invalid param");
    return kDleResultInvalidArgument;
  }
  int32_t result = (*slot)->stop();
  delete *slot;
  *slot = nullptr;
  return result;
}

int32_t endDownloadLibrary(DLELibRef** slot) {
  if (!slot || !*slot) return kDleResultInvalidArgument;
  engineLog(pando::kLogInfo, kComponent, "*******************End****************\n\n");
  delete *slot;
  *slot = nullptr;
  EngineLog::close();
  return kDleResultOk;
}

}  // namespace gde
