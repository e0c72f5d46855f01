#pragma once

#include <string>

#include "download/engine/DownloadGlobalData.h"
#include "download/engine/http/HttpCommunicator.h"

namespace gde {

// Asks the server, with a HEAD, whether the file still carries the ETag stored when the download
// began. The check runs under the manager lock and passes through the download's RequestGate, so
// a stop that waits for that lock cuts it short instead of waiting out the HEAD's time-out.
//
// Threads: the thread holding the manager lock.
class EtagCheck {
 public:
  enum class Result {
    kSame,
    kChanged,
    kFailed,     // no answer or no ETag in it; a failed request is classified into the last error
    kCancelled,  // a stop cut it short: nothing is known
  };

  // `current` gets the server's ETag when one arrived.
  static Result compare(DownloadGlobalData& data, std::string& current);

 private:
  // Classifies the communicator's error into the last error.
  static Result failed(const HttpCommunicator& communicator, DownloadGlobalData& data);
};

}  // namespace gde
