#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/context/ContextParts.h"
#include "services/common/ServiceHosts.h"
#include "services/signin/NetworkCheck.h"

class ServiceState;

// The sign-in profile: the installer's client of the identity service, speaking HTTP itself
// ("/idra/..." calls through HTTPConnector with the profile's proxy credentials), and the user it
// signed in, kept in the preferences store (IdraUserStore) so a later run finds them.
//
// Threads: the context's owner thread and the workflow thread call it; its fields are guarded,
// and the network check's thread works on a copy of what it needs. Calls that reach the service
// block their caller (up to kServiceTimeoutSeconds per attempt). Tokens, the client secret and
// passwords never reach a log line.
class IdraUserProfile final : public ISignInProfile {
 public:
  static constexpr char kClientId[] = "SkyloomInstaller_v1_0";
  static constexpr char kScope[] = "openid,Skyloom_Installer,tarn.profile";
  static constexpr char kMosaicClientId[] = "MosaicSite_v1_0";
  static constexpr char kMosaicScope[] = "openid,mosaic.web";

  using HostTable = std::function<bool(const std::string& environment, IdraHost& out)>;
  // Called after every setEnvironment, on the caller's thread.
  using EnvironmentListener = std::function<void(const std::string& environment)>;

  // `state` (shared with the other services) receives the proxy credentials and the user GUID.
  explicit IdraUserProfile(std::shared_ptr<ServiceState> state, HostTable hosts = idraHostFor);
  ~IdraUserProfile() override;

  void setEnvironmentListener(EnvironmentListener listener);

  void setEnvironment(const std::string& environment) override;
  void setProxyCredentials(const std::string& userName, const std::string& password) override;
  std::string userGuid() const override;
  std::string firstText() const override;
  bool getDefaultUserForClientId() override;
  void getSocialProvidersList(bool asynchronous) override;
  int waitForSocialProvidersResult() override;
  void setDeviceToken(const std::string& token) override;
  // Device token for an access token ("/idra/token/v1"), then the profile ("/idra/profile/v1");
  // both kept in the store. False, nothing changed, when either call fails.
  bool initWithDeviceToken() override;
  bool storeDeviceToken() override;
  std::string getAuthorizeUrl(const std::string& locale, const std::string& contextId,
                              bool signUp) override;
  bool getSocialProvidersAuth(const std::string& providerId, const std::string& locale,
                              const std::string& contextId, std::string& out) override;
  bool getJumpUrl(const std::string& link, const std::string& targetType, const std::string& locale,
                  std::string& jumpUrl) override;

  std::string clientId() const override;
  std::string accessToken() const override;
  std::string deviceToken() const;

 private:
  struct Fields;
  Fields fields() const;
  void adoptUser(const std::string& profileJson, const std::string& guid,
                 const std::string& accessToken);

  const std::shared_ptr<ServiceState> state_;
  const HostTable hosts_;
  EnvironmentListener listener_;
  NetworkCheck networkCheck_;  // owner thread only

  mutable std::mutex mutex_;
  std::string clientId_;       // guarded by mutex_
  std::string scope_;          // guarded by mutex_
  std::string environment_;    // guarded by mutex_
  IdraHost host_;              // guarded by mutex_
  std::string proxyUserName_;  // guarded by mutex_
  std::string proxyPassword_;  // guarded by mutex_
  std::string profileJson_;    // guarded by mutex_; the first text field
  std::string userGuid_;       // guarded by mutex_
  std::string accessToken_;    // guarded by mutex_
  std::string deviceToken_;    // guarded by mutex_
};
