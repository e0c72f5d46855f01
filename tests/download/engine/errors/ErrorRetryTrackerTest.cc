#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "download/engine/errors/ErrorRetryTracker.h"

namespace gde {
namespace {

EngineErrorRecord record(uint32_t type, int32_t code = 0, int32_t retryAfter = 0,
                         uint32_t segment = 0) {
  return EngineErrorRecord{type, code, retryAfter, "failure text", segment, "/data/f.bin"};
}

struct Outcome {
  uint32_t type;
  int32_t errorType;
  uint8_t retryable;
  int32_t action;
};

TEST(ErrorRetryTrackerTest, FirstOccurrenceOfEachTypeGivesItsNumberAndAction) {
  const std::vector<Outcome> cases = {
      {ERROR_NONE, kDleErrorNone, 1, kErrorClassNone},
      {ERROR_ACCESS_DENIED, kDleErrorAccessDenied, 1, kErrorClassReport},
      {ERROR_DISK_FULL, kDleErrorDiskFull, 1, kErrorClassReport},
      {ERROR_FATAL, kDleErrorHttp, 0, kErrorClassFatal},
      {ERROR_HTTP_FATAL, kDleErrorHttp, 0, kErrorClassFatal},
      {ERROR_HTTP_NOT_FOUND, kDleErrorNotFound, 0, kErrorClassFatal},
      {ERROR_HTTP_SERVER_UNREACHABLE, kDleErrorServerUnreachable, 1, kErrorClassRetryNow},
      {ERROR_HTTP_CONNECTION_ERR, kDleErrorConnection, 1, kErrorClassRetryNow},
      {http_timeout_error, kDleErrorConnection, 1, kErrorClassRetryNow},
      {ERROR_HTTP_AUTH_FAILED, kDleErrorAuthFailed, 0, kErrorClassFatal},
      {ERROR_HTTP_PROXY_AUTH, kDleErrorProxyAuthRequired, 1, kErrorClassReport},
      {ERROR_HTTP_INTERMITTENT, kDleErrorHttp, 1, kErrorClassRetryNow},
      {http_backoff_error, kDleErrorHttp, 1, kErrorClassWaitAndRetry},
      {ERROR_HTTP_PARSE_FAILURE, kDleErrorHttp, 1, kErrorClassRetryNow},
      {ERROR_HTTP_REDIRECT_LOOP, kDleErrorHttp, 0, kErrorClassFatal},
      {ERROR_DEAD_CONNECTIONS, kDleErrorConnection, 1, kErrorClassReport},
      {ERROR_HTTP_UNKNOWN, kDleErrorHttp, 0, kErrorClassFatal},
      {ERROR_SEGMENT_VALIDATION_FAILURE, kDleErrorSegmentValidation, 1, kErrorClassRetryNow},
      {ERROR_NOT_INITIALIZED, kDleErrorHttp, 0, kErrorClassFatal},
      {ERROR_FILE_CHANGED, kDleErrorFileChanged, 0, kErrorClassFatal},
      {21, kDleErrorHttp, 0, kErrorClassFatal},
      {0xFFFFFFFF, kDleErrorHttp, 0, kErrorClassFatal},
  };
  for (const auto& c : cases) {
    ErrorRetryTracker tracker;
    EXPECT_EQ(tracker.classifyError(record(c.type, 503)), c.action) << "type " << c.type;
    DLEErrorInfo info;
    tracker.getErrorInfo(info);
    EXPECT_EQ(info.errorType, c.errorType) << "type " << c.type;
    EXPECT_EQ(info.retryable, c.retryable) << "type " << c.type;
    EXPECT_EQ(info.errorClass, c.action) << "type " << c.type;
    EXPECT_EQ(info.errorCode, 503) << "type " << c.type;
    EXPECT_EQ(info.message, "failure text") << "type " << c.type;
  }
}

std::vector<int32_t> classifyMany(ErrorRetryTracker& tracker, uint32_t type, int times) {
  std::vector<int32_t> actions;
  for (int i = 0; i < times; ++i) actions.push_back(tracker.classifyError(record(type)));
  return actions;
}

TEST(ErrorRetryTrackerTest, TransientErrorsAreRetriedTwelveTimesThenReportedAndCountedAfresh) {
  for (uint32_t type : {ERROR_HTTP_CONNECTION_ERR, http_timeout_error, ERROR_HTTP_INTERMITTENT,
                        ERROR_HTTP_PARSE_FAILURE}) {
    ErrorRetryTracker tracker;
    const auto actions = classifyMany(tracker, type, 14);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(actions[i], kErrorClassRetryNow) << type << " #" << i;
    EXPECT_EQ(actions[12], kErrorClassReport) << type;
    EXPECT_EQ(actions[13], kErrorClassRetryNow) << type;
  }
}

TEST(ErrorRetryTrackerTest, AnUnreachableServerStaysReportedOnceItsLimitIsReached) {
  ErrorRetryTracker tracker;
  const auto actions = classifyMany(tracker, ERROR_HTTP_SERVER_UNREACHABLE, 15);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(actions[i], kErrorClassRetryNow) << i;
  for (int i = 12; i < 15; ++i) EXPECT_EQ(actions[i], kErrorClassReport) << i;
}

TEST(ErrorRetryTrackerTest, EachTypeIsCountedOnItsOwn) {
  RetrySettings settings;
  settings.intermittentReportAt = 3;
  ErrorRetryTracker tracker(settings);
  EXPECT_EQ(tracker.classifyError(record(ERROR_HTTP_CONNECTION_ERR)), kErrorClassRetryNow);
  EXPECT_EQ(tracker.classifyError(record(http_timeout_error)), kErrorClassRetryNow);
  EXPECT_EQ(tracker.classifyError(record(ERROR_HTTP_CONNECTION_ERR)), kErrorClassRetryNow);
  EXPECT_EQ(tracker.classifyError(record(http_timeout_error)), kErrorClassRetryNow);
  EXPECT_EQ(tracker.classifyError(record(ERROR_HTTP_CONNECTION_ERR)), kErrorClassReport);
}

TEST(ErrorRetryTrackerTest, FlowingDataForgivesOnlyTheIntermittentTypes) {
  RetrySettings settings;
  settings.intermittentReportAt = 3;
  ErrorRetryTracker tracker(settings);
  for (uint32_t type : {ERROR_HTTP_CONNECTION_ERR, http_timeout_error, ERROR_HTTP_INTERMITTENT,
                        ERROR_HTTP_PARSE_FAILURE, ERROR_HTTP_SERVER_UNREACHABLE}) {
    classifyMany(tracker, type, 2);
  }
  tracker.resetIntermittentCounts();
  for (uint32_t type : {ERROR_HTTP_CONNECTION_ERR, http_timeout_error, ERROR_HTTP_INTERMITTENT,
                        ERROR_HTTP_PARSE_FAILURE}) {
    EXPECT_EQ(tracker.classifyError(record(type)), kErrorClassRetryNow) << type;
  }
  EXPECT_EQ(tracker.classifyError(record(ERROR_HTTP_SERVER_UNREACHABLE)), kErrorClassReport);
}

TEST(ErrorRetryTrackerTest, BackOffWaitsTwiceWithinItsRangesThenReports) {
  for (int run = 0; run < 20; ++run) {
    ErrorRetryTracker tracker;
    DLEErrorInfo info;
    ASSERT_EQ(tracker.classifyError(record(http_backoff_error, 503)), kErrorClassWaitAndRetry);
    tracker.getErrorInfo(info);
    EXPECT_GE(info.retryAfter, 10u);
    EXPECT_LE(info.retryAfter, 14u);
    ASSERT_EQ(tracker.classifyError(record(http_backoff_error, 503)), kErrorClassWaitAndRetry);
    tracker.getErrorInfo(info);
    EXPECT_GE(info.retryAfter, 30u);
    EXPECT_LE(info.retryAfter, 39u);
    ASSERT_EQ(tracker.classifyError(record(http_backoff_error, 503)), kErrorClassReport);
    tracker.getErrorInfo(info);
    EXPECT_EQ(info.errorType, kDleErrorHttp);
    // Reported: the next one starts a fresh series.
    EXPECT_EQ(tracker.classifyError(record(http_backoff_error, 503)), kErrorClassWaitAndRetry);
  }
}

TEST(ErrorRetryTrackerTest, BackOffHonoursALongerRetryAfterAndKeepsItUntilTheNextBackOff) {
  ErrorRetryTracker tracker;
  tracker.classifyError(record(http_backoff_error, 429, 45));
  tracker.classifyError(record(ERROR_HTTP_CONNECTION_ERR));
  DLEErrorInfo info;
  tracker.getErrorInfo(info);
  EXPECT_EQ(info.retryAfter, 45u);
}

TEST(ErrorRetryTrackerTest, ShortenedBackOffSettingsShortenTheWait) {
  RetrySettings settings;
  settings.firstBackoffSeconds = 0;
  settings.firstBackoffSpread = 1;
  settings.laterBackoffSeconds = 1;
  settings.laterBackoffSpread = 0;
  settings.backoffReportAt = 4;
  ErrorRetryTracker tracker(settings);
  DLEErrorInfo info;
  const std::vector<uint32_t> expected = {0, 1, 1};
  for (uint32_t wait : expected) {
    ASSERT_EQ(tracker.classifyError(record(http_backoff_error)), kErrorClassWaitAndRetry);
    tracker.getErrorInfo(info);
    EXPECT_EQ(info.retryAfter, wait);
  }
  EXPECT_EQ(tracker.classifyError(record(http_backoff_error)), kErrorClassReport);
}

TEST(ErrorRetryTrackerTest, EachSegmentGetsTenRetriesBeforeItsCheckIsFatal) {
  ErrorRetryTracker tracker;
  const auto failSegment = [&](uint32_t segment) {
    return tracker.classifyError(
        record(ERROR_SEGMENT_VALIDATION_FAILURE, kSegmentCheckFailed, 0, segment));
  };
  for (int i = 0; i < 10; ++i) ASSERT_EQ(failSegment(3), kErrorClassRetryNow) << i;
  EXPECT_EQ(failSegment(3), kErrorClassFatal);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(failSegment(4), kErrorClassRetryNow) << i;
  EXPECT_EQ(failSegment(3), kErrorClassRetryNow);  // its count was reset
  tracker.clearSegmentCounts();
  EXPECT_EQ(failSegment(4), kErrorClassRetryNow);
}

TEST(ErrorRetryTrackerTest, AuthenticationFailureIsFatalWhateverTheCount) {
  ErrorRetryTracker tracker;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(tracker.classifyError(record(ERROR_HTTP_AUTH_FAILED, 401)), kErrorClassFatal);
  }
}

struct FileCase {
  int32_t code;
  int32_t errorType;
  const char* messageStart;
  uint8_t retryable;
};

TEST(ErrorRetryTrackerTest, FileErrorsMapByMeaning) {
  const std::vector<FileCase> cases = {
      {EACCES, kDleErrorAccessDenied, "Access is denied", 1},
      {EPERM, kDleErrorAccessDenied, "Access is denied", 1},
      {EROFS, kDleErrorAccessDenied, "Access is denied", 1},
      {513, kDleErrorAccessDenied, "Access is denied", 1},
      {514, kDleErrorInvalidPath, "The path used is invalid", 1},
      {ENAMETOOLONG, kDleErrorInvalidPath, "The path used is invalid", 1},
      {kFileErrorDiskFull, kDleErrorDiskFull, "The disk is full to create file at:", 1},
      {ENOSPC, kDleErrorDiskFull, "The disk is full to create file at:", 1},
      {EDQUOT, kDleErrorDiskFull, "The disk is full to create file at:", 1},
      {kFileErrorOther, kDleErrorFileSystem, "There is some error in handling the file system.", 0},
      {EIO, kDleErrorFileSystem, "There is some error in handling the file system.", 0},
  };
  for (const auto& c : cases) {
    DLEErrorInfo info;
    info.errorClass = kErrorClassFatal;
    ErrorRetryTracker::mapFileSystemError(c.code, info, "/x");
    EXPECT_EQ(info.errorType, c.errorType) << c.code;
    EXPECT_EQ(info.message.rfind(c.messageStart, 0), 0u) << c.code << ": " << info.message;
    EXPECT_EQ(info.retryable, c.retryable) << c.code;
    EXPECT_EQ(info.errorCode, c.code);
    EXPECT_EQ(info.errorClass, kErrorClassReport);
  }
}

TEST(ErrorRetryTrackerTest, FileSystemRecordsAreReportedWithTheirMapping) {
  ErrorRetryTracker tracker;
  EXPECT_EQ(tracker.classifyError(record(ERROR_FILE_SYSTEM, kFileErrorDiskFull)),
            kErrorClassReport);
  DLEErrorInfo info;
  tracker.getErrorInfo(info);
  EXPECT_EQ(info.errorType, kDleErrorDiskFull);
  EXPECT_EQ(info.message, "The disk is full to create file at:/data/f.bin");
  tracker.classifyError(record(ERROR_FILE_SYSTEM, kFileErrorOther));
  tracker.getErrorInfo(info);
  EXPECT_EQ(info.errorType, kDleErrorFileSystem);
}

}  // namespace
}  // namespace gde
