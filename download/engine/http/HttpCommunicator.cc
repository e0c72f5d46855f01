#include "download/engine/http/HttpCommunicator.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <mutex>
#include <optional>

#include "download/engine/common/EngineLog.h"
#include "download/engine/errors/ErrorRetryTracker.h"
#include "download/engine/http/CurlErrorMap.h"
#include "download/engine/http/HttpText.h"

namespace gde {
namespace {

constexpr const char* kComponent = "HttpCommunicator";
constexpr int kTrace = 10;
constexpr int kInfo = 30;
constexpr int kWarning = 40;
constexpr int kError = 50;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool parseDecimal(std::string_view text, uint64_t& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The leading decimal number of a Retry-After value; a date or nothing gives 0.
int32_t leadingSeconds(const std::string& value) {
  int64_t seconds = 0;
  for (char c : value) {
    if (c < '0' || c > '9') break;
    seconds = std::min<int64_t>(seconds * 10 + (c - '0'), INT32_MAX);
  }
  return static_cast<int32_t>(seconds);
}

// "bytes first-last/total" -> first and last.
bool parseContentRange(const std::string& value, uint64_t& first, uint64_t& last) {
  std::string_view text(value);
  if (text.rfind("bytes ", 0) != 0) return false;
  text.remove_prefix(6);
  const size_t dash = text.find('-');
  const size_t slash = text.find('/');
  return dash != std::string_view::npos && slash != std::string_view::npos && dash < slash &&
         parseDecimal(text.substr(0, dash), first) &&
         parseDecimal(text.substr(dash + 1, slash - dash - 1), last);
}

// The complete length after the slash of "bytes first-last/total"; nothing for "*" or garbage.
std::optional<uint64_t> completeLengthOf(const std::string& value) {
  const size_t slash = value.rfind('/');
  uint64_t total = 0;
  if (slash == std::string::npos ||
      !parseDecimal(std::string_view(value).substr(slash + 1), total)) {
    return std::nullopt;
  }
  return total;
}

milliseconds leftUntil(Clock::time_point deadline) {
  return std::max(milliseconds(0),
                  std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
}

}  // namespace

HttpCommunicator::HttpCommunicator(HttpSession* session, const DownloadPreference* preference)
    : session_(session), preference_(preference) {}

bool HttpCommunicator::init(HttpSession* session, const DownloadPreference* preference) {
  if (initialized_) return true;
  if (session == nullptr || preference == nullptr) {
    setError(ERROR_NOT_INITIALIZED, 0, "The communicator needs a session and a preference.");
    return false;
  }
  session_ = session;
  preference_ = preference;
  closeStream();
  cancelled_ = false;
  cancelSignal_.reset();
  initialized_ = true;
  return true;
}

// ---- requests ---------------------------------------------------------------------------------

bool HttpCommunicator::getRemoteFileSize(uint64_t& size) {
  size = 0;
  bool accepted = false;
  if (!usable() || !sendHead("", accepted) || !accepted) return false;
  const std::string length = transfer_.header("Content-Length");
  if (!length.empty() && !parseDecimal(length, size)) {
    setError(ERROR_HTTP_PARSE_FAILURE, 0, "The reply's Content-Length is not a number.");
    return false;
  }
  return true;
}

bool HttpCommunicator::createAndSendRequest(const std::string& path) {
  bool accepted = false;
  return usable() && sendHead(path, accepted);
}

bool HttpCommunicator::initHttpDownload(uint64_t firstByte, uint64_t lastByte) {
  if (!usable()) return false;
  if (requestSent_) return true;
  return sendGet(firstByte, lastByte, true, true);
}

bool HttpCommunicator::initSingleStreamDownload() {
  if (!usable()) return false;
  return sendGet(0, 0, false, false);
}

bool HttpCommunicator::usable() {
  if (cancelled_) return false;
  if (!initialized_) {
    setError(ERROR_NOT_INITIALIZED, 0, "");
    return false;
  }
  return true;
}

bool HttpCommunicator::sendHead(const std::string& path, bool& accepted) {
  if (!startRequest(path, true, "")) return false;
  const milliseconds wait = session_->settings().headTimeout + milliseconds(1000);
  const CurlTransfer::Progress progress = transfer_.pump(wait, SIZE_MAX, cancelled_);
  if (progress == CurlTransfer::Progress::Interrupted) {
    closeStream();
    return false;
  }
  if (progress != CurlTransfer::Progress::Done || transfer_.result() != CURLE_OK) {
    if (progress == CurlTransfer::Progress::Done) {
      recordTransferError();
    } else {
      setError(http_timeout_error, 0, "The server did not answer the HEAD request in time.");
    }
    closeStream();
    return false;
  }
  accepted = checkResponseHead();
  closeStream();  // complete: the connection stays open for the next request
  return true;
}

bool HttpCommunicator::sendGet(uint64_t firstByte, uint64_t lastByte, bool ranged,
                               bool enforceRange) {
  const std::string rangeLine =
      ranged ? "Range: bytes=" + std::to_string(firstByte) + "-" + std::to_string(lastByte) : "";
  if (!startRequest("", false, rangeLine)) return false;
  ranged_ = ranged;
  enforceRange_ = enforceRange;
  expectedFirst_ = firstByte;
  expectedLast_ = lastByte;
  requestSent_ = true;
  return true;
}

bool HttpCommunicator::startRequest(const std::string& path, bool head,
                                    const std::string& rangeLine) {
  closeStream();
  CurlTransfer::Request request;
  if (!buildUrl(path, request.url) || !buildHeaderLines(rangeLine, request)) return false;
  const HttpSettings& settings = session_->settings();
  request.head = head;
  request.userAgent = preference_->appName;
  request.proxy = session_->proxyFor(request.url);
  request.proxyUser = preference_->prefs.prefText1;
  request.proxyPassword = preference_->prefs.prefText2;
  request.caFile = session_->caFile();
  request.connectTimeout = settings.connectTimeout;
  request.totalTimeout = head ? settings.headTimeout : milliseconds(0);
  request.maxRedirects = settings.maxRedirects;
  if (!transfer_.start(request)) {
    recordTransferError();
    return false;
  }
  return true;
}

// scheme://host[:port]/path; the port only when it is not the scheme's own. Bytes that may not
// appear in a URL are escaped, nothing else: an escape in the path is sent as it came.
bool HttpCommunicator::buildUrl(const std::string& path, std::string& url) {
  const bool https = preference_->isHttps == 1;
  const int32_t port = preference_->port;
  if (preference_->host.empty() || port < 1 || port > 65535) {
    setError(ERROR_HTTP_NOT_FOUND, 0, "The URL has no usable host or port.");
    return false;
  }
  url = https ? "https://" : "http://";
  url += preference_->host;
  if (port != (https ? 443 : 80)) {
    url += ':';
    url += std::to_string(port);
  }
  url += "/";
  url += path.empty() ? preference_->serverPath : path;
  url = escapeIllegalUrlBytes(url);
  return true;
}

// The range first, then the preference's headers; a later header of the same name replaces an
// earlier one. The preference's headers are the caller's: they go only to the URL's own host. A
// name or value that could end the header line refuses the request.
bool HttpCommunicator::buildHeaderLines(const std::string& rangeLine,
                                        CurlTransfer::Request& request) {
  std::vector<std::pair<HttpHeader, bool>> headers;  // with whether the caller gave it
  if (!rangeLine.empty()) {
    headers.push_back({{"Range", rangeLine.substr(7)}, false});
    // A changed file answers with all of its new version instead of a piece of it.
    const FilePlan plan = session_->plan();
    const std::string& validator = plan.etag.empty() ? plan.lastModified : plan.etag;
    if (plan.known && !validator.empty()) headers.push_back({{"If-Range", validator}, false});
  }
  for (const HttpHeader& header : preference_->getHeaderObjects()) {
    std::erase_if(headers, [&](const auto& earlier) {
      return strcasecmp(earlier.first.name.c_str(), header.name.c_str()) == 0;
    });
    headers.push_back({header, true});
  }
  bool safe = isSafeHeaderValue(preference_->appName);
  for (const auto& [header, callers] : headers) {
    safe = safe && isSafeHeaderName(header.name) && isSafeHeaderValue(header.value);
    // libcurl sends "Name;" as a header with an empty value ("Name:" would remove it).
    (callers ? request.callerHeaders : request.headers)
        .push_back(header.value.empty() ? header.name + ";" : header.name + ": " + header.value);
  }
  if (!safe) {
    setError(ERROR_HTTP_FATAL, 0, "A request header holds CR, LF or NUL; the request is refused.");
    engineLog(kError, kComponent, "Refused a request header holding CR, LF or NUL");
  }
  return safe;
}

void HttpCommunicator::closeStream() {
  transfer_.finish();
  requestSent_ = false;
  ranged_ = false;
  headChecked_ = false;
}

// ---- reading ----------------------------------------------------------------------------------

int HttpCommunicator::downloadRemainingData(uint8_t* buffer, uint32_t& count, uint32_t,
                                            uint32_t maximum) {
  count = 0;
  if (cancelled_) {
    closeStream();
    return kReadError;
  }
  if (!initialized_) {
    setError(ERROR_NOT_INITIALIZED, 0, "");
    return kReadNotInitialized;
  }
  return readWithin(buffer, count, maximum, session_->settings().readWait);
}

int HttpCommunicator::readWithin(uint8_t* buffer, uint32_t& count, uint32_t maximum,
                                 milliseconds wait) {
  count = 0;
  if (!transfer_.active() && !transfer_.hasBody()) return kReadError;  // no request
  switch (transfer_.pump(wait, maximum, cancelled_)) {
    case CurlTransfer::Progress::Interrupted:
      closeStream();
      return kReadError;
    case CurlTransfer::Progress::Waiting:
      return kReadMoreData;
    case CurlTransfer::Progress::Done:
      if (transfer_.result() != CURLE_OK) {
        recordTransferError();
        closeStream();
        return kReadError;
      }
      return endOfResponse();
    case CurlTransfer::Progress::Data:
      break;
  }
  if (!headChecked_ && !checkResponseHead()) {
    closeStream();
    return kReadError;
  }
  count = static_cast<uint32_t>(transfer_.takeBody(buffer, maximum));
  const bool ended = transfer_.done() && !transfer_.hasBody() && transfer_.result() == CURLE_OK;
  if (!ended) return kReadMoreData;
  closeStream();
  return kReadComplete;
}

int HttpCommunicator::endOfResponse() {
  if (!headChecked_ && !checkResponseHead()) {
    closeStream();
    return kReadError;
  }
  closeStream();
  return kReadComplete;
}

// ---- what the reply says ----------------------------------------------------------------------

bool HttpCommunicator::checkResponseHead() {
  headChecked_ = true;
  transferFailures_.flush();
  const std::string cookie = transfer_.header("Set-Cookie");
  if (!cookie.empty()) session_->setCookie(cookie);
  const auto status = static_cast<int32_t>(transfer_.status());
  if (checkHttpStatus(status)) return false;
  if (ranged_ && !checkVersion(status)) return false;
  return !enforceRange_ || checkRangeAnswer(status);
}

// A ranged answer from another version of the file than the plan's would stitch two versions
// together: its validators must match the plan's and a 206 must state the planned size.
bool HttpCommunicator::checkVersion(int32_t status) {
  const FilePlan plan = session_->plan();
  if (!plan.known) return true;
  const std::string etag = transfer_.header("ETag");
  const std::string modified = transfer_.header("Last-Modified");
  bool same = (plan.etag.empty() || etag == plan.etag) &&
              (plan.lastModified.empty() || modified.empty() || modified == plan.lastModified);
  uint64_t first = 0;
  uint64_t last = 0;
  const std::string range = transfer_.header("Content-Range");
  if (status == 206 && parseContentRange(range, first, last)) {
    same = same && completeLengthOf(range) == plan.size;
  }
  if (same) return true;
  engineLog(kError, kComponent,
            "The answer belongs to another version of the file (ETag %s, range \"%s\")",
            etag.c_str(), range.c_str());
  setError(ERROR_FILE_CHANGED, status, "The file has changed on the server.");
  return false;
}

// True when the status is an error; the error is recorded.
bool HttpCommunicator::checkHttpStatus(int32_t status) {
  if (status == 100 || (status >= 200 && status <= 206) || status == 304) return false;
  const bool singleStream = preference_->singleStreamInEffect != 0;
  const bool noRetrial = preference_->noRetrialInEffect != 0;
  uint32_t type = ERROR_HTTP_FATAL;
  switch (status) {
    case 401:
      type = ERROR_HTTP_AUTH_FAILED;
      break;
    case 404:
      type = ERROR_HTTP_NOT_FOUND;
      break;
    case 407:
      type = ERROR_HTTP_PROXY_AUTH;
      break;
    case 408:
      type = noRetrial ? ERROR_HTTP_FATAL : singleStream ? http_backoff_error : http_timeout_error;
      break;
    case 429:
      type = singleStream && !noRetrial ? http_backoff_error : ERROR_HTTP_FATAL;
      break;
    case 503:
    case 504:
      type = noRetrial      ? ERROR_HTTP_FATAL
             : singleStream ? http_backoff_error
                            : ERROR_HTTP_INTERMITTENT;
      break;
    default:
      engineLog(kError, kComponent, "Http error has occured - %d", status);
      break;
  }
  engineLog(kError, kComponent, "The error has come and the http error code is - %d", status);
  setError(type, status, "");
  return true;
}

// A ranged GET is only usable when the server sent exactly that range: a 200 carries the file
// from its first byte, another range would be written at the wrong offset.
bool HttpCommunicator::checkRangeAnswer(int32_t status) {
  uint64_t first = 0;
  uint64_t last = 0;
  if (status != 206) {
    setError(ERROR_HTTP_PARSE_FAILURE, status, "The server ignored the byte range asked for.");
  } else if (!parseContentRange(transfer_.header("Content-Range"), first, last) ||
             first != expectedFirst_ || last != expectedLast_) {
    setError(ERROR_HTTP_PARSE_FAILURE, status,
             "The server sent another byte range than the one asked for.");
  } else {
    return true;
  }
  engineLog(kError, kComponent, "Ranged request for %llu-%llu answered with status %d range \"%s\"",
            static_cast<unsigned long long>(expectedFirst_),
            static_cast<unsigned long long>(expectedLast_), status,
            transfer_.header("Content-Range").c_str());
  return false;
}

void HttpCommunicator::recordTransferError() {
  EngineErrorRecord record;
  mapCurlError(transfer_.result(), transfer_.osErrno(), transfer_.errorText(), record);
  char text[768];
  std::snprintf(text, sizeof text, "Transfer failed: libcurl %d (%s), error type %u", record.code,
                record.message.c_str(), record.type);
  transferFailures_.log(kError, std::to_string(record.code) + "/" + std::to_string(record.type),
                        text);
  setError(record.type, record.code, record.message);
}

void HttpCommunicator::setError(uint32_t type, int32_t code, const std::string& message) {
  int32_t retryAfter = 0;
  if (type == http_backoff_error) {
    retryAfter = leadingSeconds(transfer_.header("Retry-After"));
    const auto maximum = static_cast<int64_t>(preference_->maxRetryAfterInEffect);
    if (retryAfter > maximum) {
      engineLog(kInfo, kComponent,
                "Value in Retry-After Header (%d) is greater than the Maximum Retryable value "
                "(%d). Treating it as a Fatal error.",
                retryAfter, static_cast<int>(maximum));
      type = ERROR_HTTP_FATAL;
    }
  }
  std::lock_guard lock(errorLock_);
  error_ = {type, code, retryAfter, message, 0, {}};
}

bool HttpCommunicator::getResponseHeader(const std::string& name, std::string& value) const {
  if (!transfer_.headReceived()) {
    engineLog(kError, kComponent, "Response Header found Empty in Dictionary");
    value.clear();
    return true;
  }
  value = transfer_.header(name);
  return true;
}

int32_t HttpCommunicator::getStatusCode() const {
  return static_cast<int32_t>(transfer_.status());
}

void HttpCommunicator::getError(EngineErrorRecord& out) const {
  std::lock_guard lock(errorLock_);
  out = error_;
}

bool HttpCommunicator::cancel() {
  if (cancelled_.exchange(true)) return true;
  initialized_ = false;
  requestSent_ = false;
  cancelSignal_.request();
  transfer_.abort();
  return true;
}

// ---- range probe ------------------------------------------------------------------------------

bool HttpCommunicator::checkByteRangeAcceptanceByServer(uint64_t fileSize, bool resendHead) {
  if (resendHead || !transfer_.headReceived()) {
    engineLog(kTrace, kComponent,
              "Inside checkByteRangeAcceptanceByServer. Again making HEAD call");
    if (!createAndSendRequest("")) {
      engineLog(kError, kComponent,
                "Inside checkByteRangeAcceptanceByServer. Unable to send HEAD request again.");
      return false;
    }
  }
  engineLog(kTrace, kComponent,
            "Header Field for Accept-Ranges is %s But skipping it as it can be wrong if the "
            "Firewall/Proxy is there in network",
            transfer_.header("Accept-Ranges").c_str());
  if (fileSize <= 1) {
    engineLog(kTrace, kComponent,
              "Inside checkByteRangeAcceptanceByServer. File size is 1byte. Assuming byte range "
              "is supported");
    return true;
  }
  const HttpSettings& settings = session_->settings();
  const Clock::time_point start = Clock::now();
  ErrorRetryTracker tracker;
  for (unsigned attempt = 1;; ++attempt) {
    const int answer = probeOnce(fileSize);
    if (answer >= 0) return answer == 1;
    if (cancelled_) return false;
    EngineErrorRecord record;
    getError(record);
    if (tracker.classifyError(record) != kErrorClassRetryNow) {
      engineLog(kInfo, kComponent, "Unknown error occurred in 2byte call. Breaking from loop");
      break;
    }
    engineLog(kWarning, kComponent,
              "Byte-Range Call: some intermittent error while fetching remote file size. Retrying "
              "now. Error code is %d and error type is %u",
              record.code, record.type);
    if (cancelSignal_.waitFor(settings.rangeProbeRetryWait)) return false;
    if (attempt >= settings.rangeProbeAttempts ||
        Clock::now() - start >= settings.rangeProbeWindow) {
      engineLog(
          kWarning, kComponent,
          "Byte-Range Call: Retry Count: %u reached for byte and total time taken in seconds "
          "is %d",
          attempt,
          static_cast<int>(
              std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()));
      break;
    }
  }
  engineLog(kTrace, kComponent,
            "TInside checkByteRangeAcceptanceByServer. Error in two-byte call. Falling back to "
            "single stream.");
  return false;
}

int HttpCommunicator::probeOnce(uint64_t fileSize) {
  const bool sent = usable() && sendGet(fileSize - 2, fileSize - 1, true, false);
  engineLog(kTrace, kComponent,
            "Inside checkByteRangeAcceptanceByServer. initHttpDownload API return status: %d",
            sent ? 1 : 0);
  if (!sent) return -1;
  const Clock::time_point deadline = Clock::now() + session_->settings().rangeProbeTimeout;
  uint8_t byte = 0;
  uint32_t count = 0;
  int result = kReadMoreData;
  while (result == kReadMoreData && count == 0) {
    if (Clock::now() >= deadline) {
      engineLog(kError, kComponent,
                "Inside checkByteRangeAcceptanceByServer. Two byte call timed-out. Breaking from "
                "the loop.");
      closeStream();
      return 0;
    }
    result = cancelled_ ? static_cast<int>(kReadError)
                        : readWithin(&byte, count, 1, leftUntil(deadline));
  }
  engineLog(kTrace, kComponent,
            "Inside checkByteRangeAcceptanceByServer. Return status of downloadRemainingData %d",
            result);
  if (result == kReadError || result == kReadNotInitialized) return -1;
  const std::string status = std::to_string(transfer_.status());
  const std::string length = transfer_.header("Content-Length");
  closeStream();
  if (status == "206" && length == "2") return 1;
  engineLog(kWarning, kComponent,
            "Status Code: %s and Content-Length: %s does not match the criteria of byte range "
            "acceptance by server",
            status.c_str(), length.c_str());
  return 0;
}

}  // namespace gde
