#include "download/engine/workers/DownloadSchedule.h"

#include "download/engine/http/HttpCommunicator.h"

namespace gde {

DownloadSchedule::DownloadSchedule(const DownloadSettings& settings, const EngineClock& clock)
    : backlog_(settings.serializerBacklogLimit), activity_(clock), jobs_(clock) {}

DownloadSchedule::~DownloadSchedule() {
  clear();
}

bool DownloadSchedule::queueDownload(std::unique_ptr<BaseJob> job, bool atFront) {
  return atFront ? jobs_.enqueueJobAtFront(std::move(job), JobPoolContainer::kDownload)
                 : jobs_.enqueueJob(std::move(job), JobPoolContainer::kDownload);
}

bool DownloadSchedule::queueSerialization(std::unique_ptr<BaseJob> job, uint32_t length) {
  backlog_.add(length);
  if (jobs_.enqueueJob(std::move(job), JobPoolContainer::kSerialization)) return true;
  backlog_.release(length);
  return false;
}

HttpCommunicator& DownloadSchedule::communicatorFor(
    uint32_t threadIndex, const std::function<std::unique_ptr<HttpCommunicator>()>& make) {
  std::lock_guard lock(communicatorsMutex_);
  std::unique_ptr<HttpCommunicator>& slot = communicators_[threadIndex];
  if (!slot) slot = make();
  return *slot;
}

void DownloadSchedule::clear() {
  jobs_.clear();
  segments_.clear();
  std::lock_guard lock(communicatorsMutex_);
  communicators_.clear();
}

}  // namespace gde
