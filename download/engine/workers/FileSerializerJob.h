#pragma once

#include <cstdint>
#include <memory>

#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/segments/Segment.h"
#include "download/engine/workers/BaseJob.h"
#include "download/engine/workers/JobContext.h"

namespace gde {

// Writes one piece of a segment into the partial file and records the segment's contiguous
// written prefix in the resume meta file. The piece that completes its segment (see Segment)
// sends event 3; on acceptance the segment counts as downloaded, on rejection it is fetched
// again from its first byte. A piece of an outdated segment generation is dropped unwritten.
// A failed write posts the file's error and fails the job, which the worker queues again.
//
// The piece keeps its bytes alive; its backlog share is given back when the job is destroyed.
// Threads: execute on any worker thread (a retried piece runs on a downloader thread).
class FileSerializerJob final : public BaseJob {
 public:
  explicit FileSerializerJob(uint32_t jobId) : BaseJob(jobId) {}
  ~FileSerializerJob() override;

  bool initialize(SerializerContext* data, std::shared_ptr<Segment> segment, SegmentPiece piece);
  uint32_t execute(uint32_t threadIndex) override;
  bool terminate() override { return true; }
  bool resetForRetry() override { return true; }

 private:
  void finishSegment();
  void restartRejectedSegment();

  SerializerContext* data_ = nullptr;
  std::shared_ptr<Segment> segment_;
  SegmentPiece piece_;
  bool initialized_ = false;
  EngineErrorRecord error_;
};

}  // namespace gde
