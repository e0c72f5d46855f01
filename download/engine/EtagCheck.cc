#include "download/engine/EtagCheck.h"

#include "download/engine/common/EngineLog.h"

namespace gde {
namespace {

constexpr const char* kComponent = "FileDownloadManager";

}  // namespace

EtagCheck::Result EtagCheck::compare(DownloadGlobalData& data, std::string& current) {
  HttpCommunicator communicator;
  if (!communicator.init(&data.session(), &data.getPreference())) {
    engineLog(pando::kLogError, kComponent,
              "fetchETAGValueFromServer: failed to init the http downloader to get the ETAG value");
    return failed(communicator, data);
  }
  if (!data.requestGate().enter(communicator)) return Result::kCancelled;
  const bool answered = communicator.createAndSendRequest("");
  if (data.requestGate().leave()) return Result::kCancelled;
  if (!answered) {
    engineLog(pando::kLogError, kComponent,
              "fetchETAGValueFromServer: failed to create and send the new request to get the ETAG "
              "value");
    return failed(communicator, data);
  }
  communicator.getResponseHeader("ETag", current);
  if (current.empty()) {
    engineLog(pando::kLogError, kComponent,
              "fetchETAGValueFromServer: failed to get the ETAG value from the head request");
    return Result::kFailed;
  }
  return current == data.responseHeader("ETag") ? Result::kSame : Result::kChanged;
}

EtagCheck::Result EtagCheck::failed(const HttpCommunicator& communicator,
                                    DownloadGlobalData& data) {
  EngineErrorRecord error;
  communicator.getError(error);
  data.ledger().classifyIntoLastError(error);
  return Result::kFailed;
}

}  // namespace gde
