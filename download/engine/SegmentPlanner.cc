#include "download/engine/SegmentPlanner.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

namespace {

constexpr const char* kComponent = "FileDownloadManager";
constexpr int32_t kFailed = kDleResultRequestFailed;

}  // namespace

bool SegmentPlanner::makeSegment(DownloadGlobalData& data, uint32_t index, uint32_t length,
                                 std::shared_ptr<Segment>& out) {
  if (!data.segments().createAndGetSegmentFromPool(index, out)) {
    engineLog(pando::kLogError, kComponent, "failed to create a new segment");
    return false;
  }
  const uint64_t segmentSize = data.getPreference().prefs.segmentSize;
  out->init(data.rangeStart() + uint64_t{index} * segmentSize, length, index);
  return true;
}

int32_t SegmentPlanner::cutWholeStream(DownloadGlobalData& data) {
  std::shared_ptr<Segment> stream;
  if (!data.segments().reserve(1) || !data.segments().createAndGetSegmentFromPool(0, stream)) {
    engineLog(pando::kLogError, kComponent, "failed to create a new segment");
    return kFailed;
  }
  stream->init(0, 0, 0);
  if (!data.createAndAddDownloadingJob(stream, 0, 0, false)) {
    data.segments().freeSegmentInPool(0);
    return kFailed;
  }
  engineLog(pando::kLogInfo, kComponent, "number of segments created %d", 1);
  data.ledger().setOutstandingSegments(1);
  return kDleResultOk;
}

int32_t SegmentPlanner::cutFresh(DownloadGlobalData& data) {
  const uint64_t count = data.rangeByteCount();
  if (count == 0 || data.getPreference().singleStreamInEffect) return cutWholeStream(data);
  const uint32_t segmentSize = data.getPreference().prefs.segmentSize;
  engineLog(pando::kLogInfo, kComponent, "Segment Size for current session is %d", segmentSize);
  const uint32_t full = static_cast<uint32_t>(count / segmentSize);
  const uint32_t rest = static_cast<uint32_t>(count - uint64_t{full} * segmentSize);
  const uint32_t total = full + (rest > 0 ? 1 : 0);
  if (!data.segments().reserve(full + 1)) return kFailed;
  int32_t result = 0;
  for (uint32_t index = 0; index < total; ++index) {
    std::shared_ptr<Segment> segment;
    if (!makeSegment(data, index, index < full ? segmentSize : rest, segment)) return kFailed;
    if (!data.createAndAddDownloadingJob(segment, index, 0, false)) {
      data.segments().freeSegmentInPool(index);
      result = kFailed;
    }
  }
  engineLog(pando::kLogInfo, kComponent, "number of segments created %d", total);
  data.ledger().setOutstandingSegments(total);
  return result;
}

bool SegmentPlanner::resumeSegment(DownloadGlobalData& data,
                                   const std::shared_ptr<Segment>& segment, uint32_t done) {
  engineLog(pando::kLogInfo, kComponent, "partially downloaded bytes for segment %d is %d",
            segment->index(), done);
  segment->markResumed(done);
  // The prefix is read back so that the whole segment can be checked once it is complete.
  if (!segment->allocateBuffer()) return false;
  const uint64_t fileOffset = segment->start() - data.rangeStart();
  return data.getOutputFile().readAt(fileOffset, segment->buffer().get(), done);
}

int32_t SegmentPlanner::rebuildFromMetaFile(DownloadGlobalData& data) {
  const uint64_t count = data.rangeByteCount();
  const uint32_t segmentSize = data.getPreference().prefs.segmentSize;
  const uint32_t full = static_cast<uint32_t>(count / segmentSize);
  const uint32_t rest = static_cast<uint32_t>(count - uint64_t{full} * segmentSize);
  const uint32_t total = full + (rest > 0 ? 1 : 0);
  if (!data.segments().reserve(full + 1)) return kFailed;
  engineLog(pando::kLogInfo, kComponent, "num of jobs to be created is %d", full);
  int32_t result = 0;
  uint32_t jobs = 0;
  for (uint32_t index = 0; index < total; ++index) {
    const uint32_t length = index < full ? segmentSize : rest;
    uint32_t done = 0;
    if (!data.metaFile().readSegmentProgress(index, length, done)) return kFailed;
    const uint64_t fileOffset = uint64_t{index} * segmentSize;
    if (done > 0 && data.getOutputFile().holeWithin(fileOffset, done)) {
      engineLog(pando::kLogInfo, kComponent,
                "segment %d has a hole where its record says written: fetching it again", index);
      done = 0;
    }
    if (done == length) {
      engineLog(pando::kLogInfo, kComponent, "already downloaded bytes for segment %d is %d", index,
                done);
      data.addProgressBytes(length);
      continue;
    }
    std::shared_ptr<Segment> segment;
    if (!makeSegment(data, index, length, segment)) return kFailed;
    if (done > 0 && !resumeSegment(data, segment, done)) return kFailed;
    if (!data.createAndAddDownloadingJob(segment, index, done, false)) {
      data.segments().freeSegmentInPool(index);
      result = kFailed;
      continue;
    }
    ++jobs;
  }
  DLEProgress progress = data.ledger().progress();
  data.notifyIntercepts(kEventProgress, &progress, sizeof progress);
  engineLog(pando::kLogInfo, kComponent, "number of jobs created when resuming from disk  are %d",
            jobs);
  data.ledger().setOutstandingSegments(jobs);
  return result;
}

}  // namespace gde
