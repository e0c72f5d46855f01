#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "download/engine/DownloadPreference.h"
#include "download/engine/common/CriticalSection.h"
#include "download/engine/common/RepeatedLine.h"
#include "download/engine/common/StopSignal.h"
#include "download/engine/errors/EngineErrorRecord.h"
#include "download/engine/http/CurlTransfer.h"
#include "download/engine/http/HttpSession.h"

namespace gde {

// The engine's HTTP client: HEAD requests for the remote size and ETag, ranged GETs for segments,
// a plain GET for a single stream, and the two-byte probe that tells whether the server serves
// ranges. The response body is pulled in slices with downloadRemainingData. Every failing status
// and transfer error becomes the last error (getError), whose type the classifier maps to an
// action; the communicator retries nothing itself except inside the range probe (proxy
// authentication is answered by libcurl with the preference's prefText1 and prefText2).
//
// A ranged GET must be answered with 206 and exactly the range asked for: a 200 (the range was
// ignored) or another Content-Range fails with ERROR_HTTP_PARSE_FAILURE, so no byte is ever
// delivered for the wrong offset. A ranged answer (probe or segment) whose ETag, Last-Modified or
// complete length differs from the session's FilePlan fails with ERROR_FILE_CHANGED; ranged
// requests carry "If-Range" with the plan's ETag (else its Last-Modified). Consecutive requests
// reuse the connection when they can.
//
// Threads: one owner thread (the job's worker) makes every call, except cancel(), which any thread
// may call while the communicator exists. cancel() only sets a flag and wakes a read or a HEAD in
// progress; the owner's call then returns and the owner tears the transfer down. The session and
// the preference outlive the communicator and do not change while it runs.
class HttpCommunicator {
 public:
  enum ReadResult : int {
    kReadError = 0,           // failed (see getError) or cancelled
    kReadMoreData = 1,        // more to come; the count may be 0
    kReadComplete = 2,        // the response ended; the count may still be > 0
    kReadNotInitialized = 3,  // ERROR_NOT_INITIALIZED
  };

  explicit HttpCommunicator(HttpSession* session = nullptr,
                            const DownloadPreference* preference = nullptr);
  ~HttpCommunicator() = default;
  HttpCommunicator(const HttpCommunicator&) = delete;
  HttpCommunicator& operator=(const HttpCommunicator&) = delete;

  // True at once when initialised. Otherwise takes both, forgets any transfer and an earlier
  // cancel, and becomes initialised. A null argument fails with ERROR_NOT_INITIALIZED. A cancel
  // that races with init may be forgotten: callers that reuse a communicator for a new job must
  // stop cancelling it on behalf of the old one first.
  bool init(HttpSession* session, const DownloadPreference* preference);

  // HEAD for the preference's path; the size is "Content-Length" (0 when absent). True only when
  // the status is not an error.
  bool getRemoteFileSize(uint64_t& size);
  // HEAD for `path` (empty: the preference's path). True whenever a response head arrived, also
  // when its status recorded an error.
  bool createAndSendRequest(const std::string& path);
  // Whether the server serves byte ranges, by asking for the file's last two bytes: only a 206
  // with "Content-Length: 2" says yes. A file of 0 or 1 bytes is taken as range-capable.
  // Transient failures are retried (HttpSettings); anything else answers false.
  bool checkByteRangeAcceptanceByServer(uint64_t fileSize, bool resendHead);

  // A GET for bytes firstByte..lastByte (inclusive). True at once while a GET's response is
  // still being read.
  bool initHttpDownload(uint64_t firstByte, uint64_t lastByte);
  // A GET for the whole file.
  bool initSingleStreamDownload();
  // Reads what has arrived, at most `maximum` bytes into `buffer`, waiting up to
  // HttpSettings::readWait for the first byte. `count` gets the bytes read. Returns a ReadResult.
  int downloadRemainingData(uint8_t* buffer, uint32_t& count, uint32_t unused, uint32_t maximum);

  // The value of a header of the last response (any case), empty when absent. Always true.
  bool getResponseHeader(const std::string& name, std::string& value) const;
  // The status of the last response, 0 when none arrived.
  int32_t getStatusCode() const;
  // Any thread.
  void getError(EngineErrorRecord& out) const;

  // Any thread: stops the communicator for good (until the next init). Always true.
  bool cancel();
  // Owner thread: ends the current request; an unfinished response closes its connection.
  void closeStream();

 private:
  // True when a response head arrived; `accepted` when its status is not an error.
  bool sendHead(const std::string& path, bool& accepted);
  bool sendGet(uint64_t firstByte, uint64_t lastByte, bool ranged, bool enforceRange);
  bool startRequest(const std::string& path, bool head, const std::string& rangeLine);
  bool buildUrl(const std::string& path, std::string& url);
  bool buildHeaderLines(const std::string& rangeLine, CurlTransfer::Request& request);
  int readWithin(uint8_t* buffer, uint32_t& count, uint32_t maximum,
                 std::chrono::milliseconds wait);
  int endOfResponse();
  bool checkResponseHead();
  bool checkHttpStatus(int32_t status);
  bool checkRangeAnswer(int32_t status);
  bool checkVersion(int32_t status);
  void recordTransferError();
  void setError(uint32_t type, int32_t code, const std::string& message);
  bool usable();
  // One GET of the range probe: 1 the server serves ranges, 0 it does not, -1 it failed.
  int probeOnce(uint64_t fileSize);

  HttpSession* session_;                  // not owned; owner thread
  const DownloadPreference* preference_;  // not owned; owner thread
  std::atomic<bool> initialized_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> requestSent_{false};  // a GET's response is being read
  StopSignal cancelSignal_;               // wakes the range probe's waits at cancel
  CurlTransfer transfer_;                 // owner thread, but wake() from cancel
  bool ranged_ = false;        // the current GET asked for a range: it must match the plan
  bool enforceRange_ = false;  // the current GET must be answered with exactly this range:
  uint64_t expectedFirst_ = 0;
  uint64_t expectedLast_ = 0;
  bool headChecked_ = false;  // the current response's status was checked
  mutable CriticalSection errorLock_;
  EngineErrorRecord error_;  // guarded by errorLock_
  // A failure that repeats from transfer to transfer is logged once with its count; any
  // response ends the run. Owner thread.
  RepeatedLine transferFailures_{"HttpCommunicator"};
};

}  // namespace gde
