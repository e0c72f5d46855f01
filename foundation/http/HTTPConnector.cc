#include "foundation/http/HTTPConnector.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/http/CurlExchange.h"
#include "foundation/http/RequestSecrecy.h"
#include "foundation/http/StreamErrorMap.h"
#include "foundation/logging/UtilsLog.h"
#include "foundation/text/StringUtils.h"
#include "platform/network/ProxyManager.h"

namespace {

constexpr char kComponent[] = "HTTPConnector";

// The stream states that the log names, as a run-loop stream would report them.
enum StreamStatus : int { kStreamOpen = 2, kStreamAtEnd = 5, kStreamError = 7 };

std::string effectiveUrl(const HTTPConnectorRequest& request) {
  if (request.port == 0) return request.serverURL + request.path;
  return request.serverURL + ":" + std::to_string(request.port) + request.path;
}

bool sendsBody(const HTTPConnectorRequest& request) {
  return (request.method == "PUT" || request.method == "POST") && !request.body.empty();
}

// A field that could end the head early or start a field of its own is never sent.
bool isSafeField(const std::string& name, const std::string& value) {
  return name.find_first_of(std::string_view(":\r\n \t\0", 6)) == std::string::npos &&
         value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

bool sameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool hasFieldIgnoringCase(const std::map<std::string, std::string>& fields, const char* name) {
  for (const auto& field : fields) {
    if (sameName(field.first, name)) return true;
  }
  return false;
}

bool isHttpUrl(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 ||
         strncasecmp(url.c_str(), "https://", 8) == 0;
}

const std::string* findIgnoringCase(const std::map<std::string, std::string>& fields,
                                    const char* name) {
  for (const auto& [key, value] : fields) {
    if (strcasecmp(key.c_str(), name) == 0) return &value;
  }
  return nullptr;
}

}  // namespace

HTTPConnector::HTTPConnector() = default;
HTTPConnector::~HTTPConnector() = default;

void HTTPConnector::log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  pando::utilsVlog(logger_, level, kComponent, format, args);
  va_end(args);
}

bool HTTPConnector::setProxyCredentials(const std::string& userName, const std::string& password) {
  if (userName.empty()) {
    log(pando::kLogTrace, "Empty userName while setting proxy credentials for HTTP request");
    return false;
  }
  proxyUserName_ = userName;
  proxyPassword_ = password;
  return true;
}

HTTPConnectorResponse HTTPConnector::SendHTTPRequest(const HTTPConnectorRequest& request,
                                                     std::map<std::string, std::string>& headers,
                                                     std::string& body) {
  statusCode_ = 0;
  if (request.serverURL.empty() || request.method.empty()) {
    log(pando::kLogError, "Invalid arguments to SendHTTPRequest");
    return kHTTPConnectorInvalidArguments;
  }
  // No time at all is a time-out, not a wait without end.
  if (request.timeoutSeconds <= 0) return kHTTPConnectorTimedOut;
  secret_ = http::carriesSecrets(request, effectiveUrl(request));
  HTTPConnectorResponse result = performRequest(request, headers, body);
  // 407 is answered with the proxy credentials and a 401 behind the proxy with the server's. A
  // second 407 sets the repeat mark; after it one more proxy attempt is made at most.
  bool repeatMark = false;
  bool lastProxyAttempt = false;
  while (result == kHTTPConnectorProxyAuthRequired) {
    if (lastProxyAttempt) {
      result = kHTTPConnectorProxyCredentialsFailed;
      break;
    }
    lastProxyAttempt = repeatMark;
    body.clear();
    headers.clear();
    if (!applyAuthenticationCredentials(true, proxyUserName_, proxyPassword_)) {
      result = kHTTPConnectorRequestFailed;
      break;
    }
    result = performRequest(request, headers, body);
    if (result == 401) {
      body.clear();
      result = applyAuthenticationCredentials(false, serverUserName_, serverPassword_)
                   ? performRequest(request, headers, body)
                   : kHTTPConnectorRequestFailed;
      if (!repeatMark) break;
    } else if (result == kHTTPConnectorProxyAuthRequired) {
      if (proxyUserName_.empty() || repeatMark) {
        result = kHTTPConnectorProxyCredentialsFailed;
        break;
      }
      repeatMark = true;
    } else {
      break;
    }
  }
  exchange_.reset();
  lastHead_.reset();
  return result;
}

HTTPConnectorResponse HTTPConnector::performRequest(const HTTPConnectorRequest& request,
                                                    std::map<std::string, std::string>& headers,
                                                    std::string& body) {
  const std::string url = effectiveUrl(request);
  if (!secret_) log(pando::kLogDebug, "URL: %s", url.c_str());
  if (!exchange_ && !createMessage(request, url)) return kHTTPConnectorRequestFailed;
  const http::AttemptOutcome outcome =
      exchange_->perform(request.timeoutSeconds * 1000LL, platform::ProxyManager().proxyFor(url));
  HTTPConnectorResponse result = kHTTPConnectorOK;
  if (outcome.code == CURLE_OK) {
    log(pando::kLogDebug, "HTTP stream status received: %d.", kStreamAtEnd);
    result = readReply(outcome, headers, body);
  } else {
    result = http::streamErrorResult(outcome.code, outcome.verifyResult);
    // libcurl takes a reply without an HTTP status line (none, or one without a numeric status)
    // for HTTP/0.9 and refuses it as a protocol it does not support.
    if (outcome.code == CURLE_UNSUPPORTED_PROTOCOL && isHttpUrl(url)) {
      result = kHTTPConnectorHTTPProtocolError;
    }
    const bool timedOut = result == kHTTPConnectorTimedOut;
    log(pando::kLogDebug, "HTTP stream status received: %d.",
        timedOut ? kStreamOpen : kStreamError);
    if (!timedOut) {
      log(pando::kLogError, "Stream error: %d, %d", static_cast<int>(outcome.code),
          static_cast<int>(outcome.code == CURLE_PEER_FAILED_VERIFICATION ? outcome.verifyResult
                                                                          : outcome.osErrno));
    }
  }
  if (!inflateGzip(headers, body)) result = kHTTPConnectorOtherStreamError;
  return result;
}

bool HTTPConnector::createMessage(const HTTPConnectorRequest& request, const std::string& url) {
  auto exchange = std::make_unique<http::CurlExchange>();
  if (!exchange->create(url, request.method, applyDefaultHeaders(request), request.body,
                        sendsBody(request))) {
    return false;
  }
  exchange_ = std::move(exchange);
  return true;
}

HTTPConnector::HeaderList HTTPConnector::applyDefaultHeaders(
    const HTTPConnectorRequest& request) const {
  HeaderList list;
  static const std::pair<const char*, const char*> kDefaults[] = {
      {"User-Agent", "Skyloom"},
      {"Content-Type", "text/xml; charset=utf-8"},
      {"Connection", "close"},
  };
  for (const auto& [name, value] : kDefaults) {
    if (!hasFieldIgnoringCase(request.headers, name)) setHeader(list, name, value);
  }
  if (request.acceptCompressed && !hasFieldIgnoringCase(request.headers, "Accept-Encoding")) {
    setHeader(list, "Accept-Encoding", "compress, gzip");
  }
  // The length and the framing are the body's own: a caller's would go out beside them, cut the
  // body short or leave the server waiting for chunks that never come.
  for (const auto& [name, value] : request.headers) {
    if (!sameName(name, "Content-Length") && !sameName(name, "Transfer-Encoding")) {
      setHeader(list, name, value);
    }
  }
  if (sendsBody(request)) {
    char length[32];
    snprintf(length, sizeof length, "%5zu", request.body.size());
    setHeader(list, "Content-Length", length);
  }
  return list;
}

void HTTPConnector::setHeader(HeaderList& list, const std::string& name,
                              const std::string& value) const {
  if (name.empty() || value.empty() || !isSafeField(name, value)) return;
  for (auto& field : list) {
    if (sameName(field.first, name)) {
      field = {name, value};
      return;
    }
  }
  list.emplace_back(name, value);
}

HTTPConnectorResponse HTTPConnector::readReply(const http::AttemptOutcome& outcome,
                                               std::map<std::string, std::string>& headers,
                                               std::string& body) {
  if (!outcome.head.hasStatus()) {
    log(pando::kLogError, "Unable to get Response Header properties");
    return kHTTPConnectorHTTPProtocolError;
  }
  lastHead_ = std::make_unique<http::HttpReplyHead>(outcome.head);
  statusCode_ = outcome.head.status();
  log(pando::kLogDebug, "HTTP status code received: %d.", statusCode_);
  HTTPConnectorResponse result = kHTTPConnectorOK;
  if (statusCode_ == 407) {
    log(pando::kLogError,
        "HTTP Request Status code received: 407. The proxy requires authentication.");
    result = kHTTPConnectorProxyAuthRequired;
  } else if (statusCode_ >= 400 && statusCode_ <= 599) {
    log(pando::kLogError, "received response code %d", statusCode_);
    result = static_cast<HTTPConnectorResponse>(statusCode_);
  }
  copyHeaderFields(outcome, headers);
  log(pando::kLogDebug, "Reading HTTP response message...");
  if (outcome.body.empty()) {
    log(pando::kLogError, "Response message is empty");
  } else {
    body = outcome.body;
    if (!secret_) log(pando::kLogDebug, "RESPONSE Message- \n %s", body.c_str());
  }
  return result;
}

void HTTPConnector::copyHeaderFields(const http::AttemptOutcome& outcome,
                                     std::map<std::string, std::string>& headers) {
  log(pando::kLogDebug, "Reading HTTP response header...");
  if (!outcome.head.complete()) log(pando::kLogError, "Response Header is not complete.");
  const auto& fields = outcome.head.fields();
  if (fields.empty()) {
    log(pando::kLogError, "Response Header count is 0.");
    return;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!http::HttpReplyHead::isReadable(fields[i])) {
      log(pando::kLogWarn, "Unable to get HTTP response header key and value at index %d",
          static_cast<int>(i));
      continue;
    }
    headers[fields[i].first] = fields[i].second;
  }
}

bool HTTPConnector::inflateGzip(const std::map<std::string, std::string>& headers,
                                std::string& body) {
  const std::string* encoding = findIgnoringCase(headers, "Content-Encoding");
  if (encoding == nullptr || strcasestr(encoding->c_str(), "gzip") == nullptr) return true;
  std::string inflated;
  switch (StringUtils::gunzipBounded(body, http::CurlExchange::kMaxBodyBytes, inflated)) {
    case StringUtils::GunzipResult::kInflated:
      body = std::move(inflated);
      return true;
    case StringUtils::GunzipResult::kDamaged:
      log(pando::kLogWarn, "Some error occured in unzip");
      return true;
    case StringUtils::GunzipResult::kTooLarge:
      log(pando::kLogError, "Response message inflates past %zu bytes",
          http::CurlExchange::kMaxBodyBytes);
      body.clear();
      return false;
  }
  return false;
}

bool HTTPConnector::applyAuthenticationCredentials(bool proxy, const std::string& userName,
                                                   const std::string& password) {
  bool challenged = false;
  const unsigned schemes =
      lastHead_
          ? lastHead_->offeredSchemes(proxy ? "Proxy-Authenticate" : "WWW-Authenticate", challenged)
          : http::kAuthNone;
  if (!challenged) {
    log(pando::kLogError,
        "Failed to create authentication object from response in applyAuthenticationCredentials");
    return false;
  }
  if (schemes == http::kAuthNone) {
    log(pando::kLogError,
        "Failed to create proxy authentication object. Stream error: %d, %d in "
        "applyAuthenticationCredentials",
        0, statusCode_);
    return false;
  }
  if (!exchange_->applyCredentials(
          proxy ? http::CredentialTarget::Proxy : http::CredentialTarget::Server, schemes, userName,
          password)) {
    log(pando::kLogError,
        "Failed to apply credentials to authenticate. Stream error: %d, %d in "
        "applyAuthenticationCredentials",
        0, statusCode_);
    return false;
  }
  return true;
}
