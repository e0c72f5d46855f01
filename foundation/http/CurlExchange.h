#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/http/HttpReplyHead.h"

namespace http {

// What one attempt brought back.
struct AttemptOutcome {
  CURLcode code = CURLE_OK;  // CURLE_OK: a whole reply arrived
  long verifyResult = 0;     // the TLS certificate check's result when code says it failed
  long osErrno = 0;          // the system error behind a failed connection, if any
  HttpReplyHead head;        // the last reply head, or the proxy's refusal of a tunnel
  std::string body;
};

enum class CredentialTarget { Proxy, Server };

// One request message on one libcurl easy handle, made with the process's shared libcurl set-up
// (platform/network/CurlPolicy.h) and sent once per attempt. Credentials applied to it stay on it
// for the later attempts. Replies are bounded: a head past HttpReplyHead::kMaxBytes or a body past
// kMaxBodyBytes fails the attempt (CURLE_WRITE_ERROR). One thread at a time.
class CurlExchange {
 public:
  static constexpr size_t kMaxBodyBytes = size_t{64} << 20;

  CurlExchange() = default;
  ~CurlExchange();
  CurlExchange(const CurlExchange&) = delete;
  CurlExchange& operator=(const CurlExchange&) = delete;

  // Sets up the message: the method, the URL, the header fields in the order given (no field of
  // libcurl's own but Host and Accept goes out) and, when `sendBody`, the body. False when
  // libcurl refuses; the exchange cannot be used then.
  bool create(const std::string& url, const std::string& method,
              const std::vector<std::pair<std::string, std::string>>& headers,
              const std::string& body, bool sendBody);

  // One attempt through `proxy` ("" for none), allowed `timeoutMs` for the whole of it.
  AttemptOutcome perform(long long timeoutMs, const std::string& proxy);

  // Offers `user` and `password` to the next attempts with the given AuthScheme bits. A user
  // "DOMAIN\user" keeps its domain only when NTLM is among the schemes.
  bool applyCredentials(CredentialTarget target, unsigned schemes, const std::string& user,
                        const std::string& password);

 private:
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onBody(char* data, size_t size, size_t count, void* self);

  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  std::string body_;                   // libcurl sends from this copy
  AttemptOutcome* current_ = nullptr;  // the attempt that the callbacks fill
  size_t headBytes_ = 0;
};

}  // namespace http
