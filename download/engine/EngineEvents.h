#pragma once

#include <cstdint>

// The engine's events and the records the statistics events carry (public records).
namespace gde {

// Engine events (IDleIntercept::onEvent).
enum EngineEvent : int32_t {
  kEventEtag = 1,               // text: "The value of ETAG for the file is " + ETag
  kEventSegmentReceived = 2,    // SegmentEventRecord, before the segment is written
  kEventSegmentWritten = 3,     // SegmentEventRecord, after its last byte is written
  kEventComplete = 4,           // text: the final path
  kEventStarted = 6,            // no data
  kEventError = 7,              // DLEErrorInfo
  kEventProgress = 8,           // DLEProgress
  kEventQueueStatistics = 9,    // QueueStatistics
  kEventThreadStatistics = 10,  // ThreadStatistics
  kEventAdaptive = 11,          // AdaptiveStatistics
};

struct QueueStatistics {
  uint32_t serializationJobsWaiting;
  uint32_t activeDownloaderThreads;
  uint32_t downloadJobsWaiting;
};

struct ThreadStatistics {
  uint32_t threadIndex;
  uint32_t threadState;
  uint64_t bytesReceived;
};

}  // namespace gde
