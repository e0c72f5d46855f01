#include "platform/network/ProxyManager.h"

#include <strings.h>

#include <cstdlib>
#include <sstream>

namespace platform {
namespace {

std::string firstSet(const EnvironmentLookup& environment, const char* name,
                     const char* alternative) {
  for (const char* candidate : {name, alternative}) {
    if (candidate == nullptr) continue;
    std::optional<std::string> value = environment(candidate);
    if (value && !value->empty()) return *value;
  }
  return {};
}

// The host of "scheme://[user@]host[:port]/..." in lower case; IPv6 literals keep their brackets.
std::string hostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  const size_t close = rest.rfind(']');
  const size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
    rest = rest.substr(0, colon);
  }
  std::string host(rest);
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

bool matchesEntry(std::string_view host, std::string entry) {
  while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.erase(0, 1);
  while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.pop_back();
  if (entry.empty()) return false;
  if (entry == "*") return true;
  if (entry.front() == '.') entry.erase(0, 1);
  if (host.size() < entry.size()) return false;
  const std::string_view tail = host.substr(host.size() - entry.size());
  if (strncasecmp(tail.data(), entry.data(), entry.size()) != 0) return false;
  return host.size() == entry.size() || host[host.size() - entry.size() - 1] == '.';
}

}  // namespace

std::optional<std::string> processEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

ProxyManager::ProxyManager(EnvironmentLookup environment) : environment_(std::move(environment)) {
  obtainProxySettings();
}

void ProxyManager::obtainProxySettings() {
  std::string http = firstSet(environment_, "http_proxy", nullptr);
  std::string https = firstSet(environment_, "https_proxy", "HTTPS_PROXY");
  std::string noProxy = firstSet(environment_, "no_proxy", "NO_PROXY");
  std::lock_guard lock(mutex_);
  httpProxy_ = std::move(http);
  httpsProxy_ = std::move(https);
  noProxy_ = std::move(noProxy);
}

std::string ProxyManager::proxyFor(std::string_view url) const {
  const bool https = url.size() >= 8 && strncasecmp(url.data(), "https://", 8) == 0;
  std::string proxy;
  std::string noProxy;
  {
    std::lock_guard lock(mutex_);
    proxy = https ? httpsProxy_ : httpProxy_;
    noProxy = noProxy_;
  }
  if (proxy.empty() || bypasses(hostOf(url), noProxy)) return {};
  return proxy;
}

bool ProxyManager::bypasses(std::string_view host, const std::string& noProxy) {
  std::istringstream entries(noProxy);
  for (std::string entry; std::getline(entries, entry, ',');) {
    if (matchesEntry(host, entry)) return true;
  }
  return false;
}

}  // namespace platform
