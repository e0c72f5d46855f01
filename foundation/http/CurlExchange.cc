#include "foundation/http/CurlExchange.h"

#include "platform/network/CurlPolicy.h"

namespace http {
namespace {

long curlSchemes(unsigned schemes) {
  long mask = CURLAUTH_NONE;
  if (schemes & kAuthBasic) mask |= CURLAUTH_BASIC;
  if (schemes & kAuthDigest) mask |= CURLAUTH_DIGEST;
  if (schemes & kAuthNtlm) mask |= CURLAUTH_NTLM;
  if (schemes & kAuthNegotiate) mask |= CURLAUTH_NEGOTIATE;
  return mask;
}

}  // namespace

CurlExchange::~CurlExchange() {
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  curl_slist_free_all(headerList_);
}

bool CurlExchange::create(const std::string& url, const std::string& method,
                          const std::vector<std::pair<std::string, std::string>>& headers,
                          const std::string& body, bool sendBody) {
  easy_ = curl_easy_init();
  CURLcode failed = platform::applyCurlDefaults(easy_, platform::curlCaFile());
  auto set = [&](CURLoption option, auto value) {
    if (failed == CURLE_OK) failed = curl_easy_setopt(easy_, option, value);
  };
  // Replies are handed on as they came; the connector inflates gzip itself. Redirects are
  // answers of their own, never followed.
  set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_HEADERFUNCTION, &CurlExchange::onHeader);
  set(CURLOPT_HEADERDATA, this);
  set(CURLOPT_WRITEFUNCTION, &CurlExchange::onBody);
  set(CURLOPT_WRITEDATA, this);
  for (const auto& [name, value] : headers) {
    curl_slist* longer = curl_slist_append(headerList_, (name + ": " + value).c_str());
    if (longer == nullptr) return false;
    headerList_ = longer;
  }
  // No "Expect: 100-continue" round trip before a large body.
  curl_slist* longer = curl_slist_append(headerList_, "Expect:");
  if (longer == nullptr) return false;
  headerList_ = longer;
  set(CURLOPT_HTTPHEADER, headerList_);
  // GET is libcurl's default and a body makes a POST; other methods are named.
  if (method == "HEAD") {
    set(CURLOPT_NOBODY, 1L);
  } else if (method != "GET" && !(method == "POST" && sendBody)) {
    set(CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  if (sendBody) {
    body_ = body;
    set(CURLOPT_POSTFIELDS, body_.data());
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
  }
  return failed == CURLE_OK;
}

AttemptOutcome CurlExchange::perform(long long timeoutMs, const std::string& proxy) {
  AttemptOutcome outcome;
  current_ = &outcome;
  headBytes_ = 0;
  CURLcode failed = curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
  if (failed == CURLE_OK) {
    failed = curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  }
  if (failed == CURLE_OK) failed = curl_easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str());
  outcome.code = failed == CURLE_OK ? curl_easy_perform(easy_) : failed;
  current_ = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_SSL_VERIFYRESULT, &outcome.verifyResult);
  curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &outcome.osErrno);
  long tunnelStatus = 0;
  curl_easy_getinfo(easy_, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
  // A proxy that wants credentials before it opens a tunnel has answered: its head is the reply.
  if (outcome.code != CURLE_OK && tunnelStatus == 407 && outcome.head.status() == 407) {
    outcome.code = CURLE_OK;
  }
  return outcome;
}

bool CurlExchange::applyCredentials(CredentialTarget target, unsigned schemes,
                                    const std::string& user, const std::string& password) {
  const size_t backslash = user.find('\\');
  const std::string name =
      (schemes & kAuthNtlm) || backslash == std::string::npos ? user : user.substr(backslash + 1);
  const bool proxy = target == CredentialTarget::Proxy;
  return curl_easy_setopt(easy_, proxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH,
                          curlSchemes(schemes)) == CURLE_OK &&
         curl_easy_setopt(easy_, proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, name.c_str()) ==
             CURLE_OK &&
         curl_easy_setopt(easy_, proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD,
                          password.c_str()) == CURLE_OK;
}

size_t CurlExchange::onHeader(char* data, size_t size, size_t count, void* self) {
  auto* exchange = static_cast<CurlExchange*>(self);
  const size_t length = size * count;
  exchange->headBytes_ += length;
  if (exchange->headBytes_ > HttpReplyHead::kMaxBytes) return 0;
  exchange->current_->head.addLine(std::string_view(data, length));
  return length;
}

size_t CurlExchange::onBody(char* data, size_t size, size_t count, void* self) {
  auto* exchange = static_cast<CurlExchange*>(self);
  const size_t length = size * count;
  std::string& body = exchange->current_->body;
  if (length > kMaxBodyBytes - body.size()) return 0;
  body.append(data, length);
  return length;
}

}  // namespace http
