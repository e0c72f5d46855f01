#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "download/engine/DownloadSettings.h"
#include "download/engine/common/EngineClock.h"
#include "download/engine/segments/SegmentPool.h"
#include "download/engine/workers/BaseJob.h"
#include "download/engine/workers/JobPoolContainer.h"
#include "download/engine/workers/SerializerBacklog.h"
#include "download/engine/workers/ThreadActivityBoard.h"

namespace gde {

class HttpCommunicator;

// The scheduling of one download: the job queues, the segments, the writer's backlog, what each
// downloader thread is doing, and each thread's connection. Every part is thread-safe on its own.
// Jobs are destroyed before the backlog they give their bytes back to.
class DownloadSchedule {
 public:
  DownloadSchedule(const DownloadSettings& settings, const EngineClock& clock);
  ~DownloadSchedule();
  DownloadSchedule(const DownloadSchedule&) = delete;
  DownloadSchedule& operator=(const DownloadSchedule&) = delete;

  JobPoolContainer& jobs() { return jobs_; }
  const JobPoolContainer& jobs() const { return jobs_; }
  SegmentPool& segments() { return segments_; }
  SerializerBacklog& backlog() { return backlog_; }
  ThreadActivityBoard& activity() { return activity_; }

  bool queueDownload(std::unique_ptr<BaseJob> job, bool atFront);
  // The piece's `length` counts against the backlog from now until the job is destroyed.
  bool queueSerialization(std::unique_ptr<BaseJob> job, uint32_t length);
  // The communicator of a downloader thread, made by `make` for its first job and kept across its
  // jobs so connections are reused.
  HttpCommunicator& communicatorFor(uint32_t threadIndex,
                                    const std::function<std::unique_ptr<HttpCommunicator>()>& make);
  // Drops the queued jobs, the segments and the connections.
  void clear();

 private:
  SerializerBacklog backlog_;
  ThreadActivityBoard activity_;
  SegmentPool segments_;
  JobPoolContainer jobs_;
  std::mutex communicatorsMutex_;
  std::map<uint32_t, std::unique_ptr<HttpCommunicator>> communicators_;  // communicatorsMutex_
};

}  // namespace gde
