#pragma once

#include <cstdint>
#include <string>

namespace gde {

// What kind of failure an engine component hit. ErrorRetryTracker turns each type into a public
// error number and an action; the numbers are stored in files and logs, so they never change.
enum EngineErrorType : uint32_t {
  ERROR_NONE = 0,
  ERROR_FILE_SYSTEM = 1,  // code: kFileErrorDiskFull, kFileErrorOther or a system error number
  ERROR_ACCESS_DENIED = 2,
  ERROR_DISK_FULL = 3,
  ERROR_FATAL = 4,
  ERROR_HTTP_FATAL =
      5,  // status without a retry rule, unmapped transfer error, Retry-After too big
  ERROR_HTTP_NOT_FOUND = 6,           // 404, unusable URL
  ERROR_HTTP_SERVER_UNREACHABLE = 7,  // host or network unreachable
  ERROR_HTTP_CONNECTION_ERR = 8,      // connection dropped, reset or refused
  http_timeout_error = 9,             // 408, request time-out
  ERROR_HTTP_AUTH_FAILED = 10,        // 401, unusable credentials
  ERROR_HTTP_PROXY_AUTH = 11,         // 407
  ERROR_HTTP_INTERMITTENT = 12,       // 503, 504
  http_backoff_error = 13,            // 408, 429, 503, 504 on a single stream
  ERROR_HTTP_PARSE_FAILURE = 14,      // reply not parsable
  ERROR_HTTP_REDIRECT_LOOP = 15,
  ERROR_DEAD_CONNECTIONS = 16,  // the manager's hang watch gave up
  ERROR_HTTP_UNKNOWN = 17,
  ERROR_SEGMENT_VALIDATION_FAILURE = 18,  // code kSegmentCheckFailed
  ERROR_NOT_INITIALIZED = 19,             // HTTP call on an uninitialised communicator
  ERROR_FILE_CHANGED = 20,  // an answer belongs to another version of the file than the plan
};

// Extended codes of file errors and of a failed segment check.
inline constexpr int32_t kFileErrorDiskFull = 10020;
inline constexpr int32_t kFileErrorOther = 10030;
inline constexpr int32_t kSegmentCheckFailed = 417;

// The last failure of one engine component (communicator, file handle, resume file, job), handed
// out by copy through the component's getError and classified by ErrorRetryTracker.
struct EngineErrorRecord {
  uint32_t type = ERROR_NONE;  // an EngineErrorType
  int32_t code = 0;            // HTTP status, transfer or system error number, or a code above
  int32_t retryAfter = 0;      // seconds the server asked us to wait, 0 when it did not
  std::string message;
  uint32_t segmentIndex = 0;  // the segment concerned; 0 from the communicator and file handles
  std::string path;           // the file a file system error concerns; may be empty
};

}  // namespace gde
