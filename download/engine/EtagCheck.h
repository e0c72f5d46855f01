#pragma once

#include <mutex>
#include <string>

#include "download/engine/DownloadGlobalData.h"
#include "download/engine/HttpCommunicator.h"

namespace gde {

// Asks the server, with a HEAD, whether the file still carries the ETag stored when the download
// began. The check runs under the manager lock, so a stop that waits for that lock cancels the
// check first instead of waiting out the HEAD's time-out.
//
// Threads: compare() on the thread holding the manager lock; Cancellation on any thread. While a
// Cancellation lives, a check in progress ends at once and new checks end as cancelled.
class EtagCheck {
 public:
  enum class Result {
    kSame,
    kChanged,
    kFailed,     // no answer or no ETag in it; a failed request is classified into the last error
    kCancelled,  // a stop cut it short: nothing is known
  };

  class Cancellation {
   public:
    explicit Cancellation(EtagCheck& check);
    ~Cancellation();
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

   private:
    EtagCheck& check_;
  };

  // `current` gets the server's ETag when one arrived.
  Result compare(DownloadGlobalData& data, std::string& current);

 private:
  // Classifies the communicator's error into the last error.
  static Result failed(const HttpCommunicator& communicator, DownloadGlobalData& data);
  // False when cancelled: the communicator must not be used then.
  bool enter(HttpCommunicator& communicator);
  // True when the check was cancelled while it ran.
  bool leave();

  std::mutex mutex_;
  HttpCommunicator* active_ = nullptr;  // the check in progress; guarded by mutex_
  int cancellations_ = 0;               // live Cancellations; guarded by mutex_
  bool cancelled_ = false;              // the check in progress was cancelled; guarded by mutex_
};

}  // namespace gde
