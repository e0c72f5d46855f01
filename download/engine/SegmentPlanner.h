#pragma once

#include <cstdint>

#include "download/engine/DownloadGlobalData.h"

namespace gde {

// Cuts a download's byte range into segments and queues one download job per segment that still
// needs bytes: afresh, or from the resume meta file, where a segment's record is the prefix of it
// already on disk (whole segments are skipped, partial ones continue after their prefix).
// Runs on the client thread inside start, before any worker runs. Results: 0, or -2 when a
// segment or job could not be made (or, for a rebuild, a record is damaged).
class SegmentPlanner {
 public:
  static int32_t cutFresh(DownloadGlobalData& data);
  static int32_t rebuildFromMetaFile(DownloadGlobalData& data);

 private:
  static int32_t cutWholeStream(DownloadGlobalData& data);
  static bool makeSegment(DownloadGlobalData& data, uint32_t index, uint32_t length,
                          std::shared_ptr<Segment>& out);
  static bool resumeSegment(DownloadGlobalData& data, const std::shared_ptr<Segment>& segment,
                            uint32_t done);
};

}  // namespace gde
