#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/http/HTTPConnectorTypes.h"
#include "foundation/logging/AbstractLogger.h"

namespace http {
class CurlExchange;
struct AttemptOutcome;
class HttpReplyHead;
}  // namespace http

// One synchronous HTTP/1.1 exchange with a web service, on libcurl with the process's shared set-up
// (TLS verified, WEND_CA_FILE, http and https only, the proxy from the environment, read afresh
// for every attempt). A reply 407 is answered once with the proxy credentials (and a 401 that
// follows with the server credentials); after a second 407 one more proxy attempt is made at most,
// then 191. Replies with "Content-Encoding" gzip are inflated. Redirects are not followed.
//
// Results: HTTPConnectorResponse, or the reply's status for 400..599 other than 407. Each attempt
// blocks the calling thread for at most timeoutSeconds. One thread at a time per connector;
// connectors on different threads share nothing but libcurl's share handle. Never throws. Logs to
// the logger set (not owned), else the utilities' fallbacks, under "HTTPConnector"; the URL and the
// reply of a request that carries credentials or tokens are never logged, nor are credentials.
class HTTPConnector {
 public:
  HTTPConnector();
  ~HTTPConnector();
  HTTPConnector(const HTTPConnector&) = delete;
  HTTPConnector& operator=(const HTTPConnector&) = delete;

  void setLogger(pando::AbstractLogger* logger) { logger_ = logger; }
  // False, nothing changed, for an empty user name. A user "DOMAIN\user" names its account
  // domain for schemes that need one.
  bool setProxyCredentials(const std::string& userName, const std::string& password);

  // `headers` receives the reply's header fields (set per name, never cleared but before a
  // credential attempt); `body` the reply body, left as it was when the reply has none.
  HTTPConnectorResponse SendHTTPRequest(const HTTPConnectorRequest& request,
                                        std::map<std::string, std::string>& headers,
                                        std::string& body);
  // The status of the last reply head read during the latest SendHTTPRequest; 0 when none.
  int32_t getHTTPStatusCode() const { return statusCode_; }

 private:
  using HeaderList = std::vector<std::pair<std::string, std::string>>;

  HTTPConnectorResponse performRequest(const HTTPConnectorRequest& request,
                                       std::map<std::string, std::string>& headers,
                                       std::string& body);
  bool createMessage(const HTTPConnectorRequest& request, const std::string& url);
  HeaderList applyDefaultHeaders(const HTTPConnectorRequest& request) const;
  void setHeader(HeaderList& list, const std::string& name, const std::string& value) const;
  HTTPConnectorResponse readReply(const http::AttemptOutcome& outcome,
                                  std::map<std::string, std::string>& headers, std::string& body);
  void copyHeaderFields(const http::AttemptOutcome& outcome,
                        std::map<std::string, std::string>& headers);
  // False when the reply inflates past CurlExchange::kMaxBodyBytes; `body` is then emptied.
  bool inflateGzip(const std::map<std::string, std::string>& headers, std::string& body);
  bool applyAuthenticationCredentials(bool proxy, const std::string& userName,
                                      const std::string& password);
  void log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  std::string proxyUserName_;
  std::string proxyPassword_;
  pando::AbstractLogger* logger_ = nullptr;
  // Offered to a 401 inside the proxy retry; nothing sets them, so they stay empty.
  std::string serverUserName_;
  std::string serverPassword_;
  int32_t statusCode_ = 0;

  // Per SendHTTPRequest: the request message and the last reply head persist across attempts.
  std::unique_ptr<http::CurlExchange> exchange_;
  std::unique_ptr<http::HttpReplyHead> lastHead_;
  bool secret_ = false;  // the request carries credentials or tokens
};
