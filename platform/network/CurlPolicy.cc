#include "platform/network/CurlPolicy.h"

#include <strings.h>

#include <cctype>

#include "platform/files/FileContents.h"
#include "platform/network/CurlShare.h"
#include "platform/system/DeveloperOverrides.h"

namespace platform {
namespace {

bool hasScheme(std::string_view url, std::string_view scheme) {
  return url.size() > scheme.size() + 3 &&
         strncasecmp(url.data(), scheme.data(), scheme.size()) == 0 &&
         url.substr(scheme.size(), 3) == "://";
}

constexpr size_t kMaxCaBundleBytes = size_t{16} << 20;

// libcurl's built-in CA bundle, read once; empty when the build has none or it cannot be read.
const std::string& systemCaBundle() {
  static const std::string bundle = [] {
    std::string text;
    CURL* probe = curl_easy_init();
    const char* path = nullptr;
    if (probe != nullptr && curl_easy_getinfo(probe, CURLINFO_CAINFO, &path) == CURLE_OK &&
        path != nullptr) {
      std::string error;
      if (!readRegularFile(path, kMaxCaBundleBytes, text, error)) text.clear();
    }
    curl_easy_cleanup(probe);
    return text;
  }();
  return bundle;
}

}  // namespace

bool caBundleWith(const std::string& caFile, std::string& out) {
  std::string added;
  std::string error;
  if (!readRegularFile(caFile, kMaxCaBundleBytes, added, error)) return false;
  out = systemCaBundle();
  if (!out.empty() && out.back() != '\n') out += '\n';
  out += added;
  return true;
}

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
    // CURLOPT_CAINFO would replace the system's CAs; a blob of both keeps them.
    std::string bundle;
    if (!caBundleWith(caFile, bundle)) return CURLE_SSL_CACERT_BADFILE;
    curl_blob blob = {bundle.data(), bundle.size(), CURL_BLOB_COPY};
    set(CURLOPT_CAINFO_BLOB, &blob);
    set(CURLOPT_PROXY_CAINFO_BLOB, &blob);
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

namespace {

// "host:port" of a URL, lower case; empty when libcurl cannot parse it.
std::string authorityOf(std::string_view url) {
  CURLU* parsed = curl_url();
  std::string out;
  char* host = nullptr;
  char* port = nullptr;
  if (parsed != nullptr &&
      curl_url_set(parsed, CURLUPART_URL, std::string(url).c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    out = std::string(host) + ":" + port;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  curl_free(host);
  curl_free(port);
  curl_url_cleanup(parsed);
  return out;
}

}  // namespace

bool sameHost(std::string_view first, std::string_view second) {
  const std::string authority = authorityOf(first);
  return !authority.empty() && authority == authorityOf(second);
}

bool isHttpUrl(std::string_view url) {
  return hasScheme(url, "http") || hasScheme(url, "https");
}

std::string curlCaFile(const EnvironmentLookup& environment) {
  if (!developerOverridesEnabled()) return {};
  return environment("WEND_CA_FILE").value_or("");
}

}  // namespace platform
