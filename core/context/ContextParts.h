#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/context/AppletRecords.h"

class CommandLineParser;

// What the application context owns from the layers above the core (analytics, sign-in, survey,
// applet host, message gateway, view mediators) and the bundle it reads its resources from, each
// behind the little the context itself calls. The program's main wires one factory that builds
// the real parts; the context deletes every part it was given, in its teardown order. Parts are
// created, called and deleted on the thread that owns the context.

// The operations below setEnvironment come with do-nothing answers, which the stand-ins keep:
// no event is sent, nobody is signed in, the network check succeeds and there is no survey.

// Analytics events, queued and sent later; callers look at no result. Any thread.
class IAnalytics {
 public:
  virtual ~IAnalytics() = default;
  // Queues the service event with this event type; no result. Any thread.
  virtual void sendServiceEvent(const std::string& eventType) = 0;
  virtual bool sendServiceEventWithParams(const std::string& /*eventType*/,
                                          const std::map<std::string, std::string>& /*params*/) {
    return true;
  }
  // "lbs-carousel-load-start" (start) or "lbs-carousel-load-end", each once per run.
  virtual void sendCarouselLoadEvent(bool /*start*/) {}
  virtual void sendProxyModeEvent() {}
  virtual void setProxyCredentials(const std::string& /*userName*/,
                                   const std::string& /*password*/) {}
  virtual void setVersionDownloading(const std::string& /*version*/) {}
  virtual void setUserGuid(const std::string& /*guid*/) {}
  virtual void setCountryCode(const std::string& /*countryCode*/) {}
};

class ISignInProfile {
 public:
  virtual ~ISignInProfile() = default;
  // An upper-case environment name such as "PROD" or "STAGE".
  virtual void setEnvironment(const std::string& environment) = 0;

  virtual void setProxyCredentials(const std::string& /*userName*/,
                                   const std::string& /*password*/) {}
  // The user id before its last "@"; "" before sign-in.
  virtual std::string userGuid() const { return ""; }
  // The welcome screen's data: the stored user-profile JSON text, "" when there is none.
  virtual std::string firstText() const { return ""; }
  virtual bool getDefaultUserForClientId() { return false; }
  // The network check: start (on a thread of its own when `asynchronous`), then wait for
  // 0 reachable, 1 network unavailable, 2 proxy credentials needed.
  virtual void getSocialProvidersList(bool /*asynchronous*/) {}
  virtual int waitForSocialProvidersResult() { return 0; }
  // The device token of the sign-in page's redirect.
  virtual void setDeviceToken(const std::string& /*token*/) {}
  virtual bool initWithDeviceToken() { return false; }
  virtual bool storeDeviceToken() { return false; }
  virtual std::string getAuthorizeUrl(const std::string& /*locale*/,
                                      const std::string& /*contextId*/, bool /*signUp*/) {
    return "";
  }
  virtual bool getSocialProvidersAuth(const std::string& /*providerId*/,
                                      const std::string& /*locale*/,
                                      const std::string& /*contextId*/, std::string& /*out*/) {
    return false;
  }
  virtual bool getJumpUrl(const std::string& /*link*/, const std::string& /*targetType*/,
                          const std::string& /*locale*/, std::string& /*jumpUrl*/) {
    return false;
  }
};

class IMessageGateway {
 public:
  virtual ~IMessageGateway() = default;
  virtual bool InitMessageGateway(const CommandLineParser& commandLine) = 0;
  // Returns once the gateway's thread has ended.
  virtual void WaitForGatewayThread() = 0;
};

class ISurveyManager {
 public:
  virtual ~ISurveyManager() = default;
  // 2: no survey to show; any other value goes to the survey screen.
  virtual int fetchSurveyContext() { return 2; }
  virtual void sendPageViewBeacon(bool /*onLoad*/) {}
  virtual void sendSurveyResults() {}
};

// The applet host's message manager: installs the configured products on a thread of its own and
// reports through the start record's callback (AppletRecords.h). Called from the core's threads;
// FinalizeCore must not be called from inside the callback.
class IAppletMessageManager {
 public:
  virtual ~IAppletMessageManager() = default;
  // 0 when the product installation started, 1 otherwise.
  virtual int StartWorkflow(const ProductInstallArgs* args) = 0;
  // "retry" or "cancel" for the running product installation; other actions are ignored.
  virtual void HandleUserAction(const AppletUserAction* action) = 0;
  virtual void GetProductInfo(AppletProductInfo& info) = 0;
  // Ends the product installation; no callback runs once it has returned. The result is logged.
  virtual int FinalizeCore() = 0;
};

class IViewMediator {
 public:
  virtual ~IViewMediator() = default;
};

class IBundleResources {
 public:
  virtual ~IBundleResources() = default;
  // The resource `name`.`type` as text; false, `text` untouched, when it cannot be read.
  virtual bool readResource(const std::string& name, const std::string& type,
                            std::string& text) const = 0;
};

class IContextPartsFactory {
 public:
  virtual ~IContextPartsFactory() = default;
  virtual std::unique_ptr<IAnalytics> makeAnalytics() = 0;
  virtual std::unique_ptr<ISignInProfile> makeSignInProfile() = 0;
  virtual std::unique_ptr<IMessageGateway> makeMessageGateway() = 0;
  virtual std::unique_ptr<ISurveyManager> makeSurveyManager() = 0;
  virtual std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() = 0;
  // The silent mediator of the elevated process, else the one that shows the interface.
  virtual std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) = 0;
  virtual std::unique_ptr<IBundleResources> makeBundleResources() = 0;
};
