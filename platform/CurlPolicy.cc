#include "platform/CurlPolicy.h"

#include <strings.h>

#include "platform/CurlShare.h"

namespace platform {
namespace {

bool hasScheme(std::string_view url, std::string_view scheme) {
  return url.size() > scheme.size() + 3 &&
         strncasecmp(url.data(), scheme.data(), scheme.size()) == 0 &&
         url.substr(scheme.size(), 3) == "://";
}

}  // namespace

CURLcode applyCurlDefaults(CURL* easy, const std::string& caFile) {
  CURLSH* share = CurlShare::handle();
  if (easy == nullptr || share == nullptr) return CURLE_FAILED_INIT;
  CURLcode failed = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (failed == CURLE_OK) failed = curl_easy_setopt(easy, option, value);
  };
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_SHARE, share);
  set(CURLOPT_NOPROXY, "");  // the proxy source alone decides, not libcurl's environment
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  set(CURLOPT_PROXY_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  if (!caFile.empty()) {
    set(CURLOPT_CAINFO, caFile.c_str());
    set(CURLOPT_PROXY_CAINFO, caFile.c_str());
  }
  set(CURLOPT_NOSIGNAL, 1L);
  return failed;
}

CURLcode applyRedirectPolicy(CURL* easy, std::string_view url) {
  return curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                          hasScheme(url, "https") ? "https" : "http,https");
}

bool redirectAllowed(std::string_view from, std::string_view to) {
  if (hasScheme(to, "https")) return true;
  return hasScheme(to, "http") && !hasScheme(from, "https");
}

bool isHttpUrl(std::string_view url) {
  return hasScheme(url, "http") || hasScheme(url, "https");
}

std::string curlCaFile(const EnvironmentLookup& environment) {
  return environment("WEND_CA_FILE").value_or("");
}

}  // namespace platform
