#include "download/engine/errors/ErrorRetryTracker.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "download/engine/common/EngineLog.h"

namespace gde {
namespace {

constexpr const char* kComponent = "ErrorRetryTracker";

// Errors that stop mattering once data flows again.
constexpr uint32_t kIntermittentTypes[] = {http_timeout_error, ERROR_HTTP_PARSE_FAILURE,
                                           ERROR_HTTP_INTERMITTENT, ERROR_HTTP_CONNECTION_ERR};

// Cocoa's "no write permission" and "invalid file name" codes, which callers may still pass.
constexpr int32_t kWriteNoPermission = 513;
constexpr int32_t kWriteInvalidFileName = 514;

bool isAccessDenied(int32_t code) {
  return code == EACCES || code == EPERM || code == EROFS || code == kWriteNoPermission;
}

bool isInvalidPath(int32_t code) {
  return code == kWriteInvalidFileName || code == ENAMETOOLONG;
}

bool isDiskFull(int32_t code) {
  return code == kFileErrorDiskFull || code == ENOSPC || code == EDQUOT;
}

}  // namespace

ErrorRetryTracker::ErrorRetryTracker(RetrySettings settings)
    : settings_(settings),
      random_(static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count())) {}

int32_t ErrorRetryTracker::classifyError(const EngineErrorRecord& record) {
  current_.errorCode = record.code;
  current_.message = record.message;
  current_.retryable = 1;
  current_.errorClass = kErrorClassReport;
  const uint32_t count = ++typeCounts_[record.type];

  int32_t action = kErrorClassReport;
  switch (record.type) {
    case ERROR_NONE:
      current_.errorType = kDleErrorNone;
      action = kErrorClassNone;
      break;
    case ERROR_FILE_SYSTEM:
      mapFileSystemError(record.code, current_, record.path);
      action = kErrorClassReport;
      break;
    case ERROR_ACCESS_DENIED:
      current_.errorType = kDleErrorAccessDenied;
      break;
    case ERROR_DISK_FULL:
      current_.errorType = kDleErrorDiskFull;
      break;
    case ERROR_HTTP_NOT_FOUND:
      action = fatal(kDleErrorNotFound);
      break;
    case ERROR_HTTP_SERVER_UNREACHABLE:
      current_.errorType = kDleErrorServerUnreachable;
      action = retryUpTo(record.type, false, "ERROR_HTTP_SERVER_UNREACHABLE");
      break;
    case ERROR_HTTP_CONNECTION_ERR:
      current_.errorType = kDleErrorConnection;
      action = retryUpTo(record.type, true, "ERROR_HTTP_CONNECTION_ERR");
      break;
    case http_timeout_error:
      current_.errorType = kDleErrorConnection;
      action = retryUpTo(record.type, true, "http_timeout_error");
      break;
    case ERROR_HTTP_AUTH_FAILED:
      engineLog(pando::kLogInfo, kComponent, "Setting Fatal error for status code 401");
      action = fatal(kDleErrorAuthFailed);
      break;
    case ERROR_HTTP_PROXY_AUTH:
      current_.errorType = kDleErrorProxyAuthRequired;
      break;
    case ERROR_HTTP_INTERMITTENT:
    case ERROR_HTTP_PARSE_FAILURE:
      current_.errorType = kDleErrorHttp;
      action = retryUpTo(record.type, true, "ERROR_HTTP_INTERMITTENT");
      break;
    case http_backoff_error:
      current_.errorType = kDleErrorHttp;
      action = backOff(record, count);
      break;
    case ERROR_DEAD_CONNECTIONS:
      current_.errorType = kDleErrorConnection;
      break;
    case ERROR_SEGMENT_VALIDATION_FAILURE:
      current_.errorType = kDleErrorSegmentValidation;
      action = checkSegment(record.segmentIndex);
      break;
    case ERROR_FILE_CHANGED:
      action = fatal(kDleErrorFileChanged);
      break;
    default:  // 4, 5, 15, 17, 19 and every unknown type
      action = fatal(kDleErrorHttp);
      break;
  }
  current_.errorClass = action;
  return action;
}

int32_t ErrorRetryTracker::retryUpTo(uint32_t type, bool resetOnReport, const char* typeName) {
  const uint32_t count = typeCounts_[type];
  if (count < settings_.intermittentReportAt) return kErrorClassRetryNow;
  // Only a server-unreachable error keeps its count: once it has been reported, every further one
  // is reported at once.
  if (resetOnReport) typeCounts_[type] = 0;
  engineLog(resetOnReport ? pando::kLogInfo : pando::kLogError, kComponent,
            "Retry count overshoot for %s - %d", typeName, static_cast<int>(count));
  return kErrorClassReport;
}

int32_t ErrorRetryTracker::backOff(const EngineErrorRecord& record, uint32_t count) {
  if (count >= settings_.backoffReportAt) {
    typeCounts_[http_backoff_error] = 0;
    engineLog(pando::kLogInfo, kComponent, "Retry count overshoot for http_backoff_error - %d",
              static_cast<int>(count));
    return kErrorClassReport;
  }
  const bool first = count == 1;
  const uint32_t base = first ? settings_.firstBackoffSeconds : settings_.laterBackoffSeconds;
  const uint32_t spread = first ? settings_.firstBackoffSpread : settings_.laterBackoffSpread;
  const uint32_t wait = base + (spread ? static_cast<uint32_t>(random_() % spread) : 0);
  current_.retryAfter = std::max(wait, static_cast<uint32_t>(std::max(record.retryAfter, 0)));
  engineLog(pando::kLogInfo, kComponent,
            "Retrying in http_backoff_error. Retry Count- %d, Retry Val- %d",
            static_cast<int>(count), static_cast<int>(current_.retryAfter));
  return kErrorClassWaitAndRetry;
}

int32_t ErrorRetryTracker::checkSegment(uint32_t segmentIndex) {
  const uint32_t count = ++segmentCounts_[segmentIndex];
  if (count < settings_.segmentFatalAt) return kErrorClassRetryNow;
  segmentCounts_[segmentIndex] = 0;
  engineLog(pando::kLogInfo, kComponent,
            "Retry count overshoot for ERROR_SEGMENT_VALIDATION_FAILURE - %d",
            static_cast<int>(count));
  return kErrorClassFatal;
}

int32_t ErrorRetryTracker::fatal(int32_t errorType) {
  current_.errorType = errorType;
  current_.retryable = 0;
  return kErrorClassFatal;
}

void ErrorRetryTracker::getErrorInfo(DLEErrorInfo& out) const {
  out = current_;
}

void ErrorRetryTracker::clearSegmentCounts() {
  segmentCounts_.clear();
}

void ErrorRetryTracker::resetIntermittentCounts() {
  if (typeCounts_.empty()) return;
  for (uint32_t type : kIntermittentTypes) {
    const auto found = typeCounts_.find(type);
    if (found == typeCounts_.end()) continue;
    engineLog(pando::kLogInfo, kComponent, "resetting intermitent error %d from to %d to 0",
              static_cast<int>(type), static_cast<int>(found->second));
    typeCounts_.erase(found);
  }
}

bool ErrorRetryTracker::isFatalErrorType(uint32_t type) {
  return type == ERROR_FATAL || type == ERROR_HTTP_FATAL || type == ERROR_HTTP_NOT_FOUND ||
         type == ERROR_HTTP_AUTH_FAILED || type == ERROR_FILE_CHANGED;
}

void ErrorRetryTracker::mapFileSystemError(int32_t code, DLEErrorInfo& out,
                                           const std::string& path) {
  out.errorCode = code;
  out.errorClass = kErrorClassReport;
  out.retryable = 1;
  if (isAccessDenied(code)) {
    out.errorType = kDleErrorAccessDenied;
    out.message =
        "Access is denied to read or write the file (or directory) at the given location: " + path;
  } else if (isInvalidPath(code)) {
    out.errorType = kDleErrorInvalidPath;
    out.message =
        "The path used is invalid or unavailable and hence operation is not permitted at this "
        "path:" +
        path;
  } else if (isDiskFull(code)) {
    out.errorType = kDleErrorDiskFull;
    out.message = "The disk is full to create file at:" + path;
  } else {
    out.errorType = kDleErrorFileSystem;
    out.message = "There is some error in handling the file system.";
    out.retryable = 0;
  }
}

}  // namespace gde
