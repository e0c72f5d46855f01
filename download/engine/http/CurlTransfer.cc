#include "download/engine/http/CurlTransfer.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/network/CurlPolicy.h"

namespace gde {
namespace {

// Large receive buffers let one read drain what the socket holds instead of 16 KiB at a time.
constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr std::chrono::milliseconds kPollSlice{1000};
// The body waiting to be taken is held to about this much: on loopback one perform call can read
// a whole multi-megabyte range, and a vector grown that far stays in each thread's heap arena.
constexpr size_t kBodyBacklogBytes = kReceiveBufferBytes;

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::strchr(" \t\r\n", text.front()) != nullptr) text.remove_prefix(1);
  while (!text.empty() && std::strchr(" \t\r\n", text.back()) != nullptr) text.remove_suffix(1);
  return text;
}

long statusOf(std::string_view statusLine) {
  const size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return 0;
  return std::strtol(std::string(statusLine.substr(space + 1, 3)).c_str(), nullptr, 10);
}

}  // namespace

CurlTransfer::CurlTransfer() : multi_(curl_multi_init()) {}

CurlTransfer::~CurlTransfer() {
  finish();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  curl_slist_free_all(headerList_);
}

bool CurlTransfer::start(const Request& request) {
  finish();
  resumeReceiving();
  aborted_ = false;
  done_ = false;
  result_ = CURLE_OK;
  osErrno_ = 0;
  errorBuffer_[0] = '\0';
  status_ = 0;
  headers_.clear();
  body_.clear();
  bodyRead_ = 0;
  if (!prepareHandle(request.caFile) || !configure(request)) return false;
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    result_ = CURLE_FAILED_INIT;
    return false;
  }
  active_ = true;
  return true;
}

// The handle is kept, and with it its connection, across requests; it is made anew only when the
// trusted CA file changes. (It is never reset: curl_easy_reset loses libcurl's list of cookie
// files without freeing it.)
bool CurlTransfer::prepareHandle(const std::string& caFile) {
  if (easy_ != nullptr && caFile == caFile_) return true;
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  easy_ = curl_easy_init();
  caFile_ = caFile;
  CURLcode failed =
      multi_ == nullptr ? CURLE_FAILED_INIT : platform::applyCurlDefaults(easy_, caFile);
  auto set = [&](CURLoption option, auto value) {
    if (failed == CURLE_OK) failed = curl_easy_setopt(easy_, option, value);
  };
  set(CURLOPT_PATH_AS_IS, 1L);  // the URL goes out as given: no "/../" squashing
  set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  set(CURLOPT_COOKIEFILE, "");  // the cookie engine, on the shared store
  set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
  set(CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  set(CURLOPT_ERRORBUFFER, errorBuffer_);
  set(CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
  set(CURLOPT_HEADERDATA, this);
  set(CURLOPT_XFERINFOFUNCTION, &CurlTransfer::onProgress);
  set(CURLOPT_XFERINFODATA, this);
  set(CURLOPT_NOPROGRESS, 0L);
  result_ = failed;
  if (failed == CURLE_OK) return true;
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  easy_ = nullptr;
  return false;
}

// What changes from one request to the next; every option set here is set for every request.
bool CurlTransfer::configure(const Request& request) {
  request_ = request;
  redirects_ = 0;
  if (!setHeaderList(true)) return false;
  const bool proxyLogin = !request.proxyUser.empty();
  CURLcode failed = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (failed == CURLE_OK) failed = curl_easy_setopt(easy_, option, value);
  };
  if (!platform::isHttpUrl(request.url)) failed = CURLE_UNSUPPORTED_PROTOCOL;
  set(CURLOPT_URL, request.url.c_str());
  set(CURLOPT_NOBODY, request.head ? 1L : 0L);
  set(CURLOPT_HTTPGET, request.head ? 0L : 1L);
  set(CURLOPT_USERAGENT, request.userAgent.c_str());
  // An explicit proxy, or "" for none: libcurl must not consult the environment on its own.
  set(CURLOPT_PROXY, request.proxy.c_str());
  set(CURLOPT_PROXYUSERNAME, proxyLogin ? request.proxyUser.c_str() : nullptr);
  set(CURLOPT_PROXYPASSWORD, proxyLogin ? request.proxyPassword.c_str() : nullptr);
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  result_ = failed;
  return failed == CURLE_OK;
}

bool CurlTransfer::setHeaderList(bool withCallerHeaders) {
  curl_slist_free_all(headerList_);
  headerList_ = nullptr;
  std::vector<std::string> lines = request_.headers;
  if (withCallerHeaders) {
    lines.insert(lines.end(), request_.callerHeaders.begin(), request_.callerHeaders.end());
  }
  for (const std::string& line : lines) {
    curl_slist* extended = curl_slist_append(headerList_, line.c_str());
    if (extended == nullptr) {
      result_ = CURLE_OUT_OF_MEMORY;
      return false;
    }
    headerList_ = extended;
  }
  return curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_) == CURLE_OK;
}

CurlTransfer::Progress CurlTransfer::pump(std::chrono::milliseconds wait, size_t wanted,
                                          const std::atomic<bool>& stop) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  if (!active_) return hasBody() ? Progress::Data : Progress::Done;
  for (;;) {
    if (stop) return Progress::Interrupted;
    const size_t before = body_.size() - bodyRead_;
    int running = 0;
    curl_multi_perform(multi_, &running);
    collectResult();
    const size_t waiting = body_.size() - bodyRead_;
    // Keep reading while the socket delivers, up to what the caller wants at once.
    if (waiting > before && waiting < wanted && !done_) continue;
    if (waiting > 0) return Progress::Data;
    if (done_) return Progress::Done;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Progress::Waiting;
    if (stop) return Progress::Interrupted;
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::min(left, kPollSlice).count()),
                    nullptr);
  }
}

void CurlTransfer::collectResult() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    result_ = message->data.result;
    if (result_ == CURLE_OK && followRedirect()) continue;
    done_ = true;
    curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno_);
  }
}

bool CurlTransfer::redirecting() const {
  return status_ >= 300 && status_ <= 399 && !header("Location").empty();
}

bool CurlTransfer::followRedirect() {
  char* location = nullptr;
  if (!redirecting() || curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &location) != CURLE_OK ||
      location == nullptr) {
    return false;
  }
  const std::string next = location;
  if (redirects_ >= request_.maxRedirects) {
    result_ = CURLE_TOO_MANY_REDIRECTS;
    return false;
  }
  if (!platform::redirectAllowed(request_.url, next)) {
    result_ = CURLE_UNSUPPORTED_PROTOCOL;
    std::snprintf(errorBuffer_, sizeof errorBuffer_, "a redirect from https to http was refused");
    return false;
  }
  ++redirects_;
  curl_multi_remove_handle(multi_, easy_);
  const bool sameHost = platform::sameHost(request_.url, next);
  request_.url = next;
  if (curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str()) != CURLE_OK ||
      (!sameHost && !setHeaderList(false)) || curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    active_ = false;
    result_ = CURLE_FAILED_INIT;
    return false;
  }
  status_ = 0;
  headers_.clear();
  body_.clear();
  bodyRead_ = 0;
  return true;
}

size_t CurlTransfer::takeBody(unsigned char* out, size_t maximum) {
  const size_t count = std::min(maximum, body_.size() - bodyRead_);
  if (count > 0) std::memcpy(out, body_.data() + bodyRead_, count);
  bodyRead_ += count;
  if (bodyRead_ == body_.size()) {
    body_.clear();
    bodyRead_ = 0;
    resumeReceiving();
  }
  return count;
}

void CurlTransfer::finish() {
  if (!active_) return;
  curl_multi_remove_handle(multi_, easy_);
  active_ = false;
}

void CurlTransfer::wake() {
  if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

void CurlTransfer::abort() {
  aborted_ = true;
  wake();
}

int CurlTransfer::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<CurlTransfer*>(self)->aborted_.load() ? 1 : 0;
}

std::string CurlTransfer::header(const std::string& name) const {
  for (auto it = headers_.rbegin(); it != headers_.rend(); ++it) {
    if (strcasecmp(it->first.c_str(), name.c_str()) == 0) return it->second;
  }
  return {};
}

// libcurl keeps a chunk refused with CURL_WRITEFUNC_PAUSE and hands it over again on unpausing.
void CurlTransfer::resumeReceiving() {
  if (!receivingPaused_) return;
  receivingPaused_ = false;
  curl_easy_pause(easy_, CURLPAUSE_CONT);
}

size_t CurlTransfer::onBody(char* data, size_t size, size_t count, void* self) {
  auto& transfer = *static_cast<CurlTransfer*>(self);
  if (transfer.redirecting()) return size * count;  // the redirect's own page
  if (transfer.body_.size() - transfer.bodyRead_ >= kBodyBacklogBytes) {
    transfer.receivingPaused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  transfer.body_.insert(transfer.body_.end(), data, data + size * count);
  return size * count;
}

size_t CurlTransfer::onHeader(char* data, size_t size, size_t count, void* self) {
  static_cast<CurlTransfer*>(self)->headerLine(std::string_view(data, size * count));
  return size * count;
}

// Each response of a request (a redirect, an authentication challenge, a proxy's tunnel answer)
// starts with its status line; only the last one's head is kept.
void CurlTransfer::headerLine(std::string_view line) {
  if (line.rfind("HTTP/", 0) == 0) {
    headers_.clear();
    status_ = statusOf(trim(line));
    return;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !headers_.empty()) {
    headers_.back().second += " ";
    headers_.back().second += trim(line);
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  headers_.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
}

}  // namespace gde
