#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
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

// Proxy credentials entered by the user or restored from the preferences store.
struct ProxyCredentials {
  std::string userName;
  std::string password;
  bool remember = false;  // the user chose to keep them
};

// The channel names of the two install helpers: made by the user's process, adopted by its
// elevated copy from the init packet, read by the workflow when it starts the helpers.
struct InstallHelperChannels {
  std::string first;
  std::string second;
};

// A value one thread writes while another reads it: each call copies it whole. Any thread.
template <typename T>
class Guarded {
 public:
  T get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void set(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex mutex_;
  T value_;  // guarded by mutex_
};

// The process's proxy credentials, written by the page's proxy login and the other process's
// proxy packet, read by the workflow.
using SharedProxyCredentials = Guarded<ProxyCredentials>;
// Written by the context at start and by the gateway's worker when the init packet arrives.
using SharedInstallHelperChannels = Guarded<InstallHelperChannels>;

// The workflow's receipt of the other process's state packets: the gateway's worker hands it the
// Base64 text of a workflow state block (type 6) or a progress estimate block (type 8). Damaged
// text is logged and ignored. Both return true. Any thread.
class IWorkflowPackets {
 public:
  virtual ~IWorkflowPackets() = default;
  virtual bool onProgressStatePacket(const std::string& text) = 0;
  virtual bool onProductProgressStatePacket(const std::string& text) = 0;
};

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
  // The GUID of the workflow-id file of `kind`: 1 the desktop application's, 2 the installer's;
  // "" when it cannot be had.
  virtual std::string workflowIdString(int /*kind*/) { return ""; }
  // "lbs-carousel-load-start" (start) or "lbs-carousel-load-end", each once per run.
  virtual void sendCarouselLoadEvent(bool /*start*/) {}
  virtual void sendProxyModeEvent() {}
  virtual void setProxyCredentials(const std::string& /*userName*/,
                                   const std::string& /*password*/) {}
  virtual void setVersionDownloading(const std::string& /*version*/) {}
  // The download-retry event of the desktop-application installation, with the error's code text.
  virtual void sendDownloadRetryEvent(const std::string& /*errorCode*/) {}
  virtual void setUserGuid(const std::string& /*guid*/) {}
  virtual void setCountryCode(const std::string& /*countryCode*/) {}
  // The desktop application's download and installation through the installer library; codes
  // as their status names (or decimal text).
  virtual void sendDownloadStartEvent() {}
  virtual void sendDownloadEndEvent(float /*downloadPercent*/, float /*downloadRate*/,
                                    int /*buttonClickTime*/) {}
  virtual void sendDownloadFatalErrorEvent(const std::string& /*code*/,
                                           const std::string& /*subCode*/, bool /*cancelled*/,
                                           const std::string& /*errorDetail*/) {}
  virtual void sendInstallStartEvent() {}
  virtual void sendInstallEndEvent() {}
  virtual void sendInstallFatalErrorEvent(const std::string& /*code*/) {}
  // The library's install-result document, whose "ets_params" the fatal-error event carries.
  virtual void setInstallResult(const std::string& /*xml*/) {}
};

class ISignInProfile {
 public:
  virtual ~ISignInProfile() = default;
  // An upper-case environment name such as "PROD" or "STAGE".
  virtual void setEnvironment(const std::string& environment) = 0;

  virtual void setProxyCredentials(const std::string& /*userName*/,
                                   const std::string& /*password*/) {}
  // The sign-in client id of the installer, and the signed-in user's access token ("" before
  // sign-in), which requests on the user's behalf carry.
  virtual std::string clientId() const { return ""; }
  virtual std::string accessToken() const { return ""; }
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

// The link to the other process of an installation. A user's process with administrator rights
// links nothing: its sends succeed without effect. Any thread may send; the link serialises.
class IMessageGateway {
 public:
  // Packet types the core sends or receives itself.
  static constexpr int kWorkflowStatePacket = 6;
  static constexpr int kProgressEstimatePacket = 8;

  // Linking: the channel is still coming up. Connected: packets cross. Down: linking failed or
  // the other process went away; it does not come back.
  enum class LinkState { kLinking, kConnected, kDown };

  virtual ~IMessageGateway() = default;
  virtual bool InitMessageGateway(const CommandLineParser& commandLine) = 0;
  // Returns once the gateway's thread has ended.
  virtual void WaitForGatewayThread() = 0;

  // 0 sent or not needed; negative when the channel is not up or the write failed.
  virtual int sendPacket(int /*type*/, const std::string& /*text*/) { return 0; }
  // The init document (install-helper pipe names, session id, user GUID); nothing when silent.
  virtual void sendInitPacket() {}
  // A view message to the other process's mediator: from the view (type 2) or to it (type 3).
  virtual void sendMessageToOtherViewMediator(const std::string& /*name*/,
                                              const std::string& /*data*/, bool /*fromView*/) {}
  // The context's proxy credentials (type 7).
  virtual void sendProxyData() {}
  virtual LinkState linkState() const { return LinkState::kDown; }
};

class ISurveyManager {
 public:
  virtual ~ISurveyManager() = default;
  // 2: no survey to show; any other value goes to the survey screen.
  virtual int fetchSurveyContext() { return 2; }
  virtual void sendPageViewBeacon(bool /*onLoad*/) {}
  virtual void sendSurveyResults() {}
  // Takes the answers "skill", "job" and "purpose" from a view-message data text; empty data
  // stores nothing.
  virtual void loadSurveyData(const std::string& /*data*/) {}
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

// The one mediator between the workflow and the view of a process: it shows the HTML page in the
// user's process and forwards to it from the elevated one. The commands may be called from any
// thread (mostly the workflow's); each sends one view message and looks at no result. The workflow
// records the screen id of the screens it shows itself, before it calls the command.
class IViewMediator {
 public:
  virtual ~IViewMediator() = default;

  virtual void sendMessageToView(const std::string& name, const std::string& data) = 0;
  virtual void onMessageFromView(const std::string& name, const std::string& data) = 0;
  virtual void terminateApplication() {}
  virtual void showSignInView() {}
  virtual std::string getLocalizedText(const std::string& /*key*/) { return ""; }
  virtual void showMainWindow(const std::string& /*title*/) {}
  virtual void hideMainWindow() {}
  virtual void setProxyCredentials(const std::string& /*userName*/,
                                   const std::string& /*password*/) {}

  // The view commands, each named after the message it sends.
  virtual void showSpinnerScreen() {}
  virtual void showWelcomeScreen(const std::string& /*data*/) {}
  virtual void showSurveyScreen(int /*alreadyFilled*/) {}
  virtual void showPiiScreen() {}
  virtual void showMainScreen() {}
  // retryMode 1 shows the retry button, 2 the continue button, 0 neither.
  virtual void showErrorAlert(const std::string& /*errorType*/, int /*retryMode*/,
                              const std::string& /*errorCode*/, const std::string& /*errorParam*/,
                              const std::string& /*errorTitle*/,
                              const std::string& /*moreInfoLink*/, bool /*appendParamsAtEnd*/) {}
  virtual void showPathErrorAlert(const std::string& /*alertTitle*/,
                                  const std::string& /*alertText*/,
                                  const std::string& /*installLocation*/,
                                  bool /*incorrectLocation*/, const std::string& /*errorParam*/) {}
  virtual void showCompatibilityErrorAlert(const std::string& /*data*/) {}
  virtual void showProxyAlert() {}
  virtual void updateTarnProgress(int /*progress*/, bool /*isCancelEnabled*/) {}
  virtual void updateProductProgress(int /*progress*/) {}
  virtual void updateTarnInstallWeightage(const std::string& /*tarnSize*/) {}
  virtual void updateCancelButtonState(bool /*enabled*/) {}
  virtual void showQuitConfirmation() {}
  virtual void showQuittingScreen() {}
  virtual void showLaunchingProductScreen() {}
  virtual void showDefaultContent(const std::string& /*errorURL*/) {}
};

// The privileged install helper: its launch, which hands it a REINIT pipe name, and the handshake
// on a channel. Calls block until answered or timed out; the workflow thread only.
class IInstallHelper {
 public:
  virtual ~IInstallHelper() = default;
  // True when the helper was found, started and handshaken.
  virtual bool LaunchInstallHelper(const std::string& reinitPipeName) = 0;
  // True when SYNC, AUTH and AUTH_RESP all passed; the channel then stays open.
  virtual bool Handshake(const std::string& channelName) = 0;
  virtual bool SendReinit(const std::string& newPipeName) = 0;
  virtual bool isElevated() const = 0;
  // The workflow's quit: once it answers true, every wait of a launch or handshake ends. Set
  // before the first call; the predicate is asked on the workflow thread.
  virtual void setQuitCheck(std::function<bool()> /*quitRequested*/) {}
};

class IBundleResources {
 public:
  virtual ~IBundleResources() = default;
  // The resource `name`.`type` as text; false, `text` untouched, when it cannot be read.
  virtual bool readResource(const std::string& name, const std::string& type,
                            std::string& text) const = 0;
  // Whether the resource is there, even when its text cannot be read.
  virtual bool hasResource(const std::string& name, const std::string& type) const {
    std::string text;
    return readResource(name, type, text);
  }
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
  virtual std::unique_ptr<IInstallHelper> makeInstallHelper() = 0;
};

// A factory that adds the parts of one layer to another factory: it passes every request on, and
// a layer overrides only what it makes.
class ForwardingPartsFactory : public IContextPartsFactory {
 public:
  explicit ForwardingPartsFactory(std::unique_ptr<IContextPartsFactory> inner)
      : inner_(std::move(inner)) {}

  std::unique_ptr<IAnalytics> makeAnalytics() override { return inner_->makeAnalytics(); }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    return inner_->makeSignInProfile();
  }
  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return inner_->makeMessageGateway();
  }
  std::unique_ptr<ISurveyManager> makeSurveyManager() override {
    return inner_->makeSurveyManager();
  }
  std::unique_ptr<IAppletMessageManager> makeAppletMessageManager() override {
    return inner_->makeAppletMessageManager();
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    return inner_->makeViewMediator(silent, argc, argv);
  }
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return inner_->makeBundleResources();
  }
  std::unique_ptr<IInstallHelper> makeInstallHelper() override {
    return inner_->makeInstallHelper();
  }

 private:
  std::unique_ptr<IContextPartsFactory> inner_;
};
