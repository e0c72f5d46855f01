#include "applets/PackageDownload.h"

#include <algorithm>
#include <memory>

#include "foundation/logging/LogCallback.h"

namespace applets {
namespace {

constexpr char kComponent[] = "LoomIMMessageManager";

struct HandleClose {
  void operator()(gde::DLEFileDownloader* handle) const { gde::closeFileDownloader(&handle); }
};
using Handle = std::unique_ptr<gde::DLEFileDownloader, HandleClose>;

ProductFailure lastFailure(const gde::DLEFileDownloader& handle, const DownloadRequest& request) {
  gde::DLEErrorInfo error;
  handle.getLastError(error);
  LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
              "Download of %s failed: error type %d, code %d", request.url.c_str(), error.errorType,
              error.errorCode);
  return downloadFailure(error, request.folder);
}

}  // namespace

PackageDownload::PackageDownload(gde::DLELibRef* library, const gde::DownloadSettings& settings,
                                 std::chrono::milliseconds pollInterval, WorkflowControl& control)
    : library_(library), settings_(settings), pollInterval_(pollInterval), control_(control) {}

double downloadFraction(uint64_t bytesDone, uint64_t size) {
  if (size == 0) return 0;
  return std::min(1.0, static_cast<double>(bytesDone) / static_cast<double>(size));
}

ProductFailure PackageDownload::fetch(const DownloadRequest& request,
                                      const std::function<void(double)>& progress) const {
  if (control_.interrupted()) return failure(kErrorCancelled);
  gde::DLEFileDownloader* raw = nullptr;
  if (gde::createFileDownloaderWithSettings(library_, &raw, settings_) != 0) {
    return failure(kErrorHttp);
  }
  Handle handle(raw);
  gde::DLEInputStruct input;
  input.serverfullpath = request.url;
  input.targetFolder = request.folder;
  input.targetFileName = request.fileName;
  input.keepResumeFile = 0;
  const ProxyCredentials proxy = control_.proxy();
  input.preferences.prefText1 = proxy.userName;
  input.preferences.prefText2 = proxy.password;
  input.preferences.singleStream = request.singleStream ? 1 : 0;
  input.preferences.extraHeaders = request.headers;
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "", "Downloading %s",
              request.url.c_str());
  if (handle->init(input) != 0) return lastFailure(*handle, request);
  uint64_t size = 0;
  uint8_t ranged = 0;
  if (!request.singleStream) handle->getRemoteFileSize(size, ranged);  // known after init
  if (handle->start() != 0) return lastFailure(*handle, request);
  while (!control_.pause(pollInterval_)) {
    gde::DLEProgress state;
    if (handle->getProgress(state) != 0) continue;
    if (state.state == gde::kDleStateComplete) return {};
    if (state.state == gde::kDleStatePaused || state.state == gde::kDleStateError ||
        state.state == gde::kDleStateFatal) {
      return lastFailure(*handle, request);
    }
    if (size > 0) progress(downloadFraction(state.bytesDownloaded, size));
  }
  return failure(kErrorCancelled);
}

}  // namespace applets
