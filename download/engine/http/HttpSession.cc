#include "download/engine/http/HttpSession.h"

#include "platform/network/CurlPolicy.h"

namespace gde {

HttpSession::HttpSession(HttpSettings settings, EnvironmentLookup environment)
    : settings_(settings),
      environment_(std::move(environment)),
      caFile_(platform::curlCaFile(environment_)) {}

bool HttpSession::init(const DownloadPreference* preference, DLEErrorInfo& error) {
  if (preference == nullptr) {
    error.errorType = kDleErrorMisuse;
    error.retryable = 1;
    error.message = "Input preference is null";
    return false;
  }
  preference_ = preference;
  return init();
}

bool HttpSession::init() {
  auto proxyManager = std::make_shared<ProxyManager>(environment_);
  std::lock_guard lock(mutex_);
  cookie_.clear();
  proxyManager_ = std::move(proxyManager);
  return true;
}

std::string HttpSession::proxyFor(const std::string& url) const {
  const std::shared_ptr<ProxyManager> proxyManager = getProxyManager();
  return proxyManager == nullptr ? std::string() : proxyManager->proxyFor(url);
}

std::shared_ptr<ProxyManager> HttpSession::getProxyManager() const {
  std::lock_guard lock(mutex_);
  return proxyManager_;
}

void HttpSession::release() {
  std::lock_guard lock(mutex_);
  proxyManager_.reset();
}

std::string HttpSession::cookie() const {
  std::lock_guard lock(mutex_);
  return cookie_;
}

FilePlan HttpSession::plan() const {
  std::lock_guard lock(mutex_);
  return plan_;
}

void HttpSession::setPlan(FilePlan plan) {
  std::lock_guard lock(mutex_);
  plan_ = std::move(plan);
}

void HttpSession::setCookie(std::string value) {
  std::lock_guard lock(mutex_);
  cookie_ = std::move(value);
}

}  // namespace gde
