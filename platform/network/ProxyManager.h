#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Reads one environment variable; production reads the process environment, tests pass a map.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> processEnvironment(const char* name);

// The proxy source of every HTTP request the process makes: the conventional variables
// "http_proxy", "https_proxy" (or "HTTPS_PROXY") and "no_proxy" (or "NO_PROXY"), read when the
// manager is made and again at proxyHasChanged. Every request asks proxyFor with its URL.
// ("HTTP_PROXY" is not read: a CGI-style environment lets a request's "Proxy:" header set it.)
//
// Any thread may call any operation.
class ProxyManager {
 public:
  explicit ProxyManager(EnvironmentLookup environment = processEnvironment);

  // Reads the variables again.
  void obtainProxySettings();
  void proxyHasChanged() { obtainProxySettings(); }

  // The proxy for a request to `url` ("http://host:port" as the variable gives it), or an empty
  // text to go direct: for URLs without a proxy variable for their scheme, and for hosts that
  // "no_proxy" names (a host, a domain that matches itself and its subdomains with or without a
  // leading ".", or "*" for every host).
  std::string proxyFor(std::string_view url) const;

 private:
  static bool bypasses(std::string_view host, const std::string& noProxy);

  const EnvironmentLookup environment_;
  mutable std::mutex mutex_;
  std::string httpProxy_;   // guarded by mutex_
  std::string httpsProxy_;  // guarded by mutex_
  std::string noProxy_;     // guarded by mutex_
};

}  // namespace platform
