#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "download/engine/common/EngineClock.h"
#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

// Decides which downloader threads hang: a busy thread whose connection has been silent (since
// its last data, or since its job started when no data came) for `hangTimeout` or longer. It
// counts the cancellations since data last flowed; past `deadConnectionLimit` the download is
// declared to have dead connections and the count starts again. In memory, no threads: the
// download thread feeds it the activity records once a second.
class HangWatch {
 public:
  struct Verdict {
    std::vector<uint32_t> cancel;  // thread indexes whose jobs are to be cancelled
    bool deadConnections = false;  // the dead-connection error is to be posted
  };

  HangWatch(EngineClock::TimePoint::duration hangTimeout, uint32_t deadConnectionLimit)
      : hangTimeout_(hangTimeout), deadConnectionLimit_(deadConnectionLimit) {}

  Verdict check(const std::map<uint32_t, ThreadActivityBoard::Record>& activity,
                EngineClock::TimePoint now);
  void reset() { deadConnectionCount_ = 0; }

 private:
  const EngineClock::TimePoint::duration hangTimeout_;
  const uint32_t deadConnectionLimit_;
  uint32_t deadConnectionCount_ = 0;
};

}  // namespace gde
