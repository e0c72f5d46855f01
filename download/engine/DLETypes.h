#pragma once

#include <cstdint>
#include <map>
#include <string>

// The records that cross the download engine's boundary: a request (DLEInputStruct) with its
// preferences (DLEPrefStruct), the last error (DLEErrorInfo), the progress (DLEProgress) and the
// callback interface (IDleIntercept). Plain values: copying copies every field, maps included.
namespace gde {

// What the engine's entry points return (DownloadLibrary, DLEFileDownloader, GDEHelper).
enum DLEResult : int32_t {
  kDleResultOk = 0,
  kDleResultNotRunning = 10,   // getProgress before init, pause when not running
  kDleResultRunning = 20,      // setPreference while running
  kDleResultAlreadyDone = 30,  // already initialised, created or running
  kDleResultFailed = -1,
  kDleResultRequestFailed = -2,    // the size or ETag request, or cutting the jobs, failed
  kDleResultInvalidArgument = -3,  // a null slot or library
  kDleResultNotInitialized = -4,
  kDleResultFileChanged = -999,  // the file changed on the server; GDEHelper: its temporary
                                 // file could not be made or read
};

// Public error numbers (DLEErrorInfo::errorType). Negative; 0 is no error.
enum DLEErrorNumber : int32_t {
  kDleErrorNone = 0,
  kDleErrorNotFound = -4,
  kDleErrorAuthFailed = -7,
  kDleErrorProxyAuthRequired = -8,
  kDleErrorJobCreation = -9,
  kDleErrorMisuse = -10,  // also: a request or preference the engine refuses
  kDleErrorPartialDownloadImpossible = -15,
  kDleErrorAccessDenied = -20,
  kDleErrorDiskFull = -30,
  kDleErrorHttp = -40,
  kDleErrorConnection = -45,  // connection failure or time-out
  kDleErrorServerUnreachable = -50,
  kDleErrorFileChanged = -55,
  kDleErrorSegmentValidation = -60,
  kDleErrorFileSystem = -70,
  kDleErrorInvalidPath = -80,
  kDleErrorNameClash = -100,  // another file already has the target name
};

// The action an error led to (DLEErrorInfo::errorClass), carried out by the download manager.
enum DLEErrorClass : int32_t {
  kErrorClassReport = 0,
  kErrorClassRetryNow = 1,
  kErrorClassFatal = 2,
  kErrorClassFileChanged = 4,
  kErrorClassWaitAndRetry = 5,  // wait DLEErrorInfo::retryAfter seconds, then retry
  kErrorClassNone = 7,
};

// The download manager's state as DLEProgress::state reports it.
enum DLEState : int32_t {
  kDleStatePauseRequested = 0,
  kDleStatePaused = 1,
  kDleStateStopping = 2,
  kDleStateStopped = 3,
  kDleStateRunning = 4,
  kDleStateComplete = 5,
  kDleStateError = 6,
  kDleStateFatal = 7,
};

// The caller's preferences. DownloadPreference::validate clamps them into the engine's settings.
struct DLEPrefStruct {
  uint8_t useAdaptiveAlgorithm = 0;  // thread cap 50 instead of 15, faster adjustment
  std::string prefText1;             // proxy user name, "DOMAIN\user" allowed
  std::string prefText2;             // proxy password
  std::string prefText3;             // server user name: carried, never sent
  std::string prefText4;             // server password: carried, never sent
  uint32_t segmentSize = 0x200000;   // bytes per segment
  uint32_t threadCount = 0;          // downloader threads wanted; 0 = engine default
  uint64_t downloadStartAddress = 0;
  uint64_t bytesToDownload = 0;                     // 0 = to the end of the file
  uint8_t singleStream = 0;                         // one plain GET instead of ranged segments
  uint8_t compression = 1;                          // ask for gzip on a single stream
  std::map<std::string, std::string> extraHeaders;  // added to every request
  uint8_t noRetrialOnHttpErrors = 0;
  uint32_t maxRetryAfter = 60;      // seconds: the longest Retry-After honoured
  uint8_t replaceExtraHeaders = 0;  // replace the engine's header map instead of merging
};

// One download request.
struct DLEInputStruct {
  std::string serverfullpath;  // the URL; required
  std::string targetFolder;
  std::string targetFileName;  // empty: the last path element of the URL
  std::string reservedText1;   // carried, not read
  std::string reservedText2;   // carried, not read
  std::string appName;         // empty: "Skyloom"
  std::string referer;         // empty: "Orvel.referer"
  uint8_t reservedFlag = 0;    // carried, not read
  DLEPrefStruct preferences;
  uint8_t adaptiveThreadRamp = 1;  // start with half the threads and let the controller adjust
  uint8_t keepResumeFile = 1;      // write, and resume from, the resume meta file
};

// The engine's last error.
struct DLEErrorInfo {
  int32_t errorType = kDleErrorNone;  // a DLEErrorNumber
  int32_t errorCode = 0;              // HTTP status or system error number, 0 when none
  std::string message;
  uint32_t retryAfter = 0;                 // seconds to wait before a retry
  uint8_t retryable = 1;                   // 1: the client may resume later
  int32_t errorClass = kErrorClassReport;  // a DLEErrorClass
};

// Progress as handed to intercepts (16 bytes).
struct DLEProgress {
  uint64_t bytesDownloaded = 0;
  uint32_t reserved = 0;             // always 0
  int32_t state = kDleStateStopped;  // a DLEState
};
static_assert(sizeof(DLEProgress) == 16);

// A client's callback. onEvent may run on any engine thread, with the engine's event lock held:
// it must not raise an engine event or register an intercept. Returning -5 stops the delivery of
// this event to intercepts registered after this one.
class IDleIntercept {
 public:
  static constexpr int32_t kStopDelivery = -5;

  virtual ~IDleIntercept() = default;
  virtual int32_t onEvent(int32_t event, const void* data, uint32_t size) = 0;
};

}  // namespace gde
