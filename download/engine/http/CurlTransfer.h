#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace gde {

// One HTTP/1.1 request at a time on a libcurl easy handle that the transfer keeps across requests,
// so consecutive requests of one owner reuse the connection. The handle runs in the transfer's own
// multi handle, so the owner pulls the response in slices (pump) instead of being called back.
// Redirects are followed here, not by libcurl, so that none leaves https for http and one to
// another host carries no caller header; a redirect's own body is dropped. Bodies arrive as sent:
// no content decoding. At most about one receive buffer of body waits to
// be taken: beyond that the transfer pauses until takeBody has drained it.
//
// Threads: one owner thread makes every call, except wake() and abort(), which any thread may
// call while the transfer exists.
class CurlTransfer {
 public:
  struct Request {
    std::string url;  // already escaped
    bool head = false;
    std::vector<std::string> headers;  // "Name: value" lines, sent after User-Agent
    // The caller's own lines, sent after `headers` and only to the host of `url`: a redirect to
    // another host drops them.
    std::vector<std::string> callerHeaders;
    std::string userAgent;
    std::string proxy;  // empty: direct
    std::string proxyUser;
    std::string proxyPassword;
    std::string caFile;  // a CA bundle trusted besides the system's; empty: none
    std::chrono::milliseconds connectTimeout{0};
    std::chrono::milliseconds totalTimeout{0};  // 0: none
    long maxRedirects = 0;
  };

  enum class Progress {
    Data,         // body bytes are waiting in takeBody
    Done,         // the transfer ended: see result()
    Waiting,      // the wait passed without either
    Interrupted,  // the stop flag was set
  };

  CurlTransfer();
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Ends any previous request and starts this one. False when libcurl refused the options (the
  // reason is in result()); nothing is sent then.
  bool start(const Request& request);
  // Drives the request until body bytes wait (reading on while the socket delivers, up to
  // `wanted`), it ends, `wait` passes or `stop` is set.
  Progress pump(std::chrono::milliseconds wait, size_t wanted, const std::atomic<bool>& stop);
  // Moves up to `maximum` waiting body bytes to `out`; returns how many.
  size_t takeBody(unsigned char* out, size_t maximum);
  // Ends the request; an unfinished response closes its connection.
  void finish();
  // Makes a pump in progress, or the next one, return promptly. Any thread.
  void wake();
  // Any thread: wakes the pump and makes libcurl abort the current request at its next progress
  // call, so no call into libcurl outlasts a stop. The next start clears it.
  void abort();

  bool active() const { return active_; }
  bool done() const { return done_; }
  bool hasBody() const { return bodyRead_ < body_.size(); }
  CURLcode result() const { return result_; }
  long osErrno() const { return osErrno_; }
  std::string errorText() const { return errorBuffer_; }

  // The last response head seen (after redirects and authentication, the final one).
  bool headReceived() const { return status_ != 0; }
  long status() const { return status_; }
  const std::vector<std::pair<std::string, std::string>>& headers() const { return headers_; }
  // The last header with this name (any case); empty when absent.
  std::string header(const std::string& name) const;

 private:
  static size_t onBody(char* data, size_t size, size_t count, void* self);
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  void headerLine(std::string_view line);
  bool prepareHandle(const std::string& caFile);
  bool configure(const Request& request);
  bool setHeaderList(bool withCallerHeaders);
  // Starts the request again at the Location of a redirect answer; false when the answer is no
  // redirect or the redirect is refused (result() then says why).
  bool followRedirect();
  bool redirecting() const;
  void collectResult();
  void resumeReceiving();

  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  curl_slist* headerList_ = nullptr;
  Request request_;      // the current request, its URL the latest one redirected to
  long redirects_ = 0;   // redirects followed for the current request
  std::string caFile_;   // the one the handle was made with
  std::atomic<bool> aborted_{false};
  bool active_ = false;  // the easy handle is in the multi handle
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  long osErrno_ = 0;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  long status_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::vector<unsigned char> body_;
  size_t bodyRead_ = 0;           // body_ before this offset was taken already
  bool receivingPaused_ = false;  // the body callback paused the transfer until body_ drains
};

}  // namespace gde
