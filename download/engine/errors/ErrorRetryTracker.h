#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "download/engine/DLETypes.h"
#include "download/engine/errors/EngineErrorRecord.h"

namespace gde {

// Retry counts and back-off waits. Defaults are the product's; tests pass smaller ones.
struct RetrySettings {
  // The occurrence of a connection, time-out, unreachable or intermittent error that is reported
  // instead of retried.
  uint32_t intermittentReportAt = 13;
  // The occurrence of a back-off error (408, 429, 503, 504 on a single stream) that is reported.
  uint32_t backoffReportAt = 3;
  // The failed check of one segment that makes the download fatal.
  uint32_t segmentFatalAt = 11;
  // First back-off wait: base + [0, spread) seconds; later waits likewise.
  uint32_t firstBackoffSeconds = 10;
  uint32_t firstBackoffSpread = 5;
  uint32_t laterBackoffSeconds = 30;
  uint32_t laterBackoffSpread = 10;
};

// Turns engine failures into the public error and an action (DLEErrorClass) for the download
// manager, counting occurrences per error type and check failures per segment so that transient
// errors are retried a fixed number of times and then reported. No lock: the owner serialises
// every call.
class ErrorRetryTracker {
 public:
  explicit ErrorRetryTracker(RetrySettings settings = {});

  // The action for this failure; also left in the error being built (errorClass).
  int32_t classifyError(const EngineErrorRecord& record);
  void getErrorInfo(DLEErrorInfo& out) const;
  void clearSegmentCounts();
  // Forgets the counts of the intermittent types (data is flowing again).
  void resetIntermittentCounts();

  static bool isFatalErrorType(uint32_t type);
  // A file error code (system error number, kFileErrorDiskFull or kFileErrorOther) as the public
  // error; `path` ends the message.
  static void mapFileSystemError(int32_t code, DLEErrorInfo& out, const std::string& path);

 private:
  int32_t retryUpTo(uint32_t type, bool resetOnReport, const char* typeName);
  int32_t backOff(const EngineErrorRecord& record, uint32_t count);
  int32_t checkSegment(uint32_t segmentIndex);
  int32_t fatal(int32_t errorType);

  const RetrySettings settings_;
  DLEErrorInfo current_;
  std::map<uint32_t, uint32_t> typeCounts_;
  std::map<uint32_t, uint32_t> segmentCounts_;
  std::minstd_rand random_;
};

}  // namespace gde
