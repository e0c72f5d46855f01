#include "services/signin/IdraUserProfile.h"

#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogLine.h"
#include "services/common/ServiceCall.h"
#include "services/common/ServiceLog.h"
#include "services/common/ServiceReplies.h"
#include "services/common/ServiceState.h"
#include "services/signin/IdraUserStore.h"

namespace {

constexpr char kComponent[] = "IdraUserProfile";

}  // namespace

// A consistent copy of what one call needs, so no lock is held across a request.
struct IdraUserProfile::Fields {
  std::string clientId;
  std::string scope;
  std::string environment;
  IdraHost host;
  std::string proxyUserName;
  std::string proxyPassword;
  std::string accessToken;
  std::string deviceToken;

  ServiceReply call(const char* method, const std::string& path, const std::string& query,
                    const std::string& body, bool withAccessToken) const {
    HTTPConnectorRequest request;
    request.serverURL = host.base;
    request.path = query.empty() ? path : path + "?" + query;
    request.method = method;
    request.body = body;
    request.timeoutSeconds = kServiceTimeoutSeconds;
    if (!body.empty()) request.headers["Content-Type"] = "application/x-www-form-urlencoded";
    request.headers["Accept"] = "application/json";
    if (withAccessToken) request.headers["Authorization"] = "Bearer " + accessToken;
    return callService(request, proxyUserName, proxyPassword);
  }
};

IdraUserProfile::IdraUserProfile(std::shared_ptr<ServiceState> state, HostTable hosts)
    : state_(std::move(state)), hosts_(std::move(hosts)), clientId_(kClientId), scope_(kScope) {
  // Production until an environment is named.
  if (hosts_("PROD", host_)) environment_ = "PROD";
}

IdraUserProfile::~IdraUserProfile() = default;

void IdraUserProfile::setEnvironmentListener(EnvironmentListener listener) {
  listener_ = std::move(listener);
}

IdraUserProfile::Fields IdraUserProfile::fields() const {
  std::lock_guard lock(mutex_);
  return {clientId_,      scope_,         environment_, host_,
          proxyUserName_, proxyPassword_, accessToken_, deviceToken_};
}

void IdraUserProfile::setEnvironment(const std::string& environment) {
  {
    std::lock_guard lock(mutex_);
    clientId_ = kClientId;
    scope_ = kScope;
    IdraHost host;
    if (hosts_(environment, host)) {
      host_ = host;
      environment_ = environment;
    }
  }
  serviceLog(pando::kLogDebug, kComponent, "Sign-in environment: %s",
             pando::escapedForLog(environment).c_str());
  if (listener_) listener_(environment);
}

void IdraUserProfile::setProxyCredentials(const std::string& userName,
                                          const std::string& password) {
  {
    std::lock_guard lock(mutex_);
    proxyUserName_ = userName;
    proxyPassword_ = password;
  }
  state_->setProxyCredentials(userName, password);
}

std::string IdraUserProfile::userGuid() const {
  std::lock_guard lock(mutex_);
  return userGuid_;
}

std::string IdraUserProfile::firstText() const {
  std::lock_guard lock(mutex_);
  return profileJson_;
}

std::string IdraUserProfile::clientId() const {
  std::lock_guard lock(mutex_);
  return clientId_;
}

std::string IdraUserProfile::accessToken() const {
  std::lock_guard lock(mutex_);
  return accessToken_;
}

std::string IdraUserProfile::deviceToken() const {
  std::lock_guard lock(mutex_);
  return deviceToken_;
}

void IdraUserProfile::adoptUser(const std::string& profileJson, const std::string& guid,
                                const std::string& accessToken) {
  {
    std::lock_guard lock(mutex_);
    profileJson_ = profileJson;
    accessToken_ = accessToken;
    userGuid_ = guid;
  }
  state_->setUserGuid(guid);
}

bool IdraUserProfile::getDefaultUserForClientId() {
  StoredIdraUser user;
  std::string profileJson;
  std::string guid;
  if (!IdraUserStore::load(clientId(), user) || user.accessToken.empty() ||
      !readUserProfile(user.profileJson, profileJson, guid)) {
    serviceLog(pando::kLogInfo, kComponent, "No signed-in user stored");
    return false;
  }
  adoptUser(profileJson, guid, user.accessToken);
  {
    std::lock_guard lock(mutex_);
    if (deviceToken_.empty()) deviceToken_ = user.deviceToken;
  }
  serviceLog(pando::kLogInfo, kComponent, "Found a stored signed-in user");
  return true;
}

void IdraUserProfile::getSocialProvidersList(bool asynchronous) {
  const Fields current = fields();
  NetworkCheck::Request request;
  request.url =
      current.host.base + "/idra/providers/v1?" + formText({{"client_id", current.clientId}});
  request.proxyUserName = current.proxyUserName;
  request.proxyPassword = current.proxyPassword;
  networkCheck_.start(std::move(request), asynchronous);
}

int IdraUserProfile::waitForSocialProvidersResult() {
  const int result = networkCheck_.wait();
  serviceLog(pando::kLogInfo, kComponent, "Network check result: %d", result);
  return result;
}

void IdraUserProfile::setDeviceToken(const std::string& token) {
  std::lock_guard lock(mutex_);
  deviceToken_ = token;
}

bool IdraUserProfile::initWithDeviceToken() {
  const Fields current = fields();
  if (current.deviceToken.empty()) {
    serviceLog(pando::kLogError, kComponent, "No device token to sign in with");
    return false;
  }
  const ServiceReply tokenReply =
      current.call("POST", "/idra/token/v1", "",
                   formText({{"grant_type", "device"},
                             {"client_id", current.clientId},
                             {"client_secret", current.host.clientSecret},
                             {"device_token", current.deviceToken}}),
                   false);
  std::string accessToken;
  if (!tokenReply.succeeded() || !readAccessToken(tokenReply.body, accessToken)) {
    serviceLog(pando::kLogError, kComponent, "Device token sign-in failed: %d, status %d",
               tokenReply.result, tokenReply.status);
    return false;
  }
  Fields withToken = current;
  withToken.accessToken = accessToken;
  const ServiceReply profileReply = withToken.call("GET", "/idra/profile/v1", "", "", true);
  std::string profileJson;
  std::string guid;
  if (!profileReply.succeeded() || !readUserProfile(profileReply.body, profileJson, guid)) {
    serviceLog(pando::kLogError, kComponent, "Profile request failed: %d, status %d",
               profileReply.result, profileReply.status);
    return false;
  }
  adoptUser(profileJson, guid, accessToken);
  if (!IdraUserStore::save(current.clientId, {profileJson, accessToken, current.deviceToken})) {
    serviceLog(pando::kLogWarn, kComponent, "The signed-in user could not be stored");
  }
  serviceLog(pando::kLogInfo, kComponent, "Signed in with the device token");
  return true;
}

bool IdraUserProfile::storeDeviceToken() {
  const Fields current = fields();
  StoredIdraUser user;
  IdraUserStore::load(current.clientId, user);
  user.deviceToken = current.deviceToken;
  if (!IdraUserStore::save(current.clientId, user)) {
    serviceLog(pando::kLogError, kComponent, "The device token could not be stored");
    return false;
  }
  return true;
}

std::string IdraUserProfile::getAuthorizeUrl(const std::string& locale,
                                             const std::string& contextId, bool signUp) {
  const Fields current = fields();
  std::string url = current.host.base + "/idra/authorize/v1?" +
                    formText({{"client_id", current.clientId},
                              {"scope", current.scope},
                              {"locale", locale},
                              {"context_id", contextId},
                              {"redirect_uri", idraSentinelRoot(current.environment)}});
  if (signUp) url += "&create_account=true";
  return url;
}

bool IdraUserProfile::getSocialProvidersAuth(const std::string& providerId,
                                             const std::string& locale,
                                             const std::string& contextId, std::string& out) {
  const Fields current = fields();
  const ServiceReply reply =
      current.call("GET", "/idra/social/v1",
                   formText({{"provider_id", providerId},
                             {"client_id", current.clientId},
                             {"scope", current.scope},
                             {"locale", locale},
                             {"context_id", contextId},
                             {"redirect_uri", idraSentinelRoot(current.environment)}}),
                   "", false);
  if (!reply.succeeded() || !readSocialAddresses(reply.body, out)) {
    serviceLog(pando::kLogError, kComponent, "Social provider request failed: %d, status %d",
               reply.result, reply.status);
    return false;
  }
  return true;
}

bool IdraUserProfile::getJumpUrl(const std::string& link, const std::string& targetType,
                                 const std::string& locale, std::string& jumpUrl) {
  const Fields current = fields();
  if (current.accessToken.empty()) {
    serviceLog(pando::kLogError, kComponent, "No signed-in user for a jump URL");
    return false;
  }
  const bool mosaic = targetType == "mosaic";
  const ServiceReply reply =
      current.call("POST", "/idra/jumptoken/v1", "",
                   formText({{"target_client_id", mosaic ? kMosaicClientId : current.clientId},
                             {"target_scope", mosaic ? kMosaicScope : current.scope},
                             {"target_redirect_uri", link},
                             {"locale", locale}}),
                   true);
  if (!reply.succeeded() || !readJumpUrl(reply.body, jumpUrl)) {
    serviceLog(pando::kLogError, kComponent, "Jump token request failed: %d, status %d",
               reply.result, reply.status);
    return false;
  }
  return true;
}
