#include "download/engine/workers/HangWatch.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

HangWatch::Verdict HangWatch::check(const std::map<uint32_t, ThreadActivityBoard::Record>& activity,
                                    EngineClock::TimePoint now) {
  Verdict verdict;
  for (const auto& [index, record] : activity) {
    if (!record.busy) continue;
    const bool dataCame = record.lastData != EngineClock::TimePoint{};
    const auto since = dataCame ? record.lastData : record.jobStart;
    const auto idle = now - since;
    if (idle < hangTimeout_) {
      if (dataCame) deadConnectionCount_ = 0;
      continue;
    }
    engineLog(
        pando::kLogInfo, "FileDownloadManager",
        "Canceling the job for thread %d. The thread seems to be hanged since no activity "
        "for the last %ld seconds. time reported is %ld",
        index, static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(idle).count()),
        static_cast<long>(
            std::chrono::duration_cast<std::chrono::seconds>(since.time_since_epoch()).count()));
    verdict.cancel.push_back(index);
    ++deadConnectionCount_;
  }
  if (deadConnectionCount_ > deadConnectionLimit_) {
    engineLog(pando::kLogInfo, "FileDownloadManager",
              "dead connections count reached maximum limit of %d", deadConnectionLimit_);
    verdict.deadConnections = true;
    deadConnectionCount_ = 0;
  }
  return verdict;
}

}  // namespace gde
