#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/context/ContextParts.h"
#include "mediation/view/InstallLocationBrowser.h"
#include "mediation/view/InstallLocationChoice.h"

class ApplicationContext;
class WorkflowManager;

// Fixed waits of the mediator; tests pass shorter ones.
struct ViewMediatorSettings {
  int smsTimeoutSeconds = 60;
};

// The workflow's one way to the view of its process. Each view command builds one view message
// (name, data), does its side effects (the workflow's screen id, an analytics event) and hands
// the message to sendMessageToView, which the process's mediator implements. Messages from the
// view reach processMessageFromView, which turns them into UI actions, state codes, proxy
// credentials, analytics events, browser links and the SMS request.
//
// The mediator reaches the rest of the process through the ApplicationContext that made it (its
// workflow manager, configuration, analytics, sign-in profile and survey), which owns it and
// outlives every call; it is made by the context's factory, never inside the context's
// constructor. Missing parts (no workflow manager yet) turn their effects into nothing.
//
// Threads: commands run on their caller's thread; processMessageFromView on the thread that
// dispatches view messages (the main thread, or the gateway's worker in the elevated copy). The
// two sign-in options are guarded; the SMS request and the jump-URL request block their caller.
class ViewMediatorBase : public IViewMediator {
 public:
  explicit ViewMediatorBase(std::shared_ptr<IInstallLocationBrowser> browser = nullptr,
                            ViewMediatorSettings settings = {});

  void showSpinnerScreen() override;
  void showWelcomeScreen(const std::string& data) override;
  void showSurveyScreen(int alreadyFilled) override;
  void showPiiScreen() override;
  void showMainScreen() override;
  void showErrorAlert(const std::string& errorType, int retryMode, const std::string& errorCode,
                      const std::string& errorParam, const std::string& errorTitle,
                      const std::string& moreInfoLink, bool appendParamsAtEnd) override;
  void showPathErrorAlert(const std::string& alertTitle, const std::string& alertText,
                          const std::string& installLocation, bool incorrectLocation,
                          const std::string& errorParam) override;
  void showCompatibilityErrorAlert(const std::string& data) override;
  void showProxyAlert() override;
  void updateTarnProgress(int progress, bool isCancelEnabled) override;
  void updateProductProgress(int progress) override;
  void updateTarnInstallWeightage(const std::string& tarnSize) override;
  void updateCancelButtonState(bool enabled) override;
  void showQuitConfirmation() override;
  void showQuittingScreen() override;
  void showLaunchingProductScreen() override;
  void showDefaultContent(const std::string& errorURL) override;

  // Acts on a message from the page. Names compare exactly; unknown names only log. Data that
  // a row reads as JSON and that is no object, or whose member is an array or an object, is
  // ignored like data that does not parse.
  void processMessageFromView(const std::string& name, const std::string& data);

  // The notification service texts the user a link to a mobile application; the page gets
  // "sendSMSResponse" with the outcome. No request and no answer for data that is not a JSON
  // object.
  void sendSMS(const std::string& data);
  // Opens a web-site page (or a search on it) in the user's browser, signed in through a jump
  // URL when asked, and reports the link as the event "open-url-in-browser".
  void openLinkInBrowser(const std::string& data);

  // Sign-in options the page chose on the welcome screen, for the sign-in view.
  bool signUpRequested() const;
  std::string socialProviderId() const;
  void setSocialProviderId(const std::string& id);

 protected:
  // The context that made this mediator, held from construction: the context's teardown joins
  // the threads that call in here while it holds the lock that a fresh look-up would wait for.
  ApplicationContext& context() const { return context_; }
  // The silent copy acts on the page's messages but opens no browser: the user's process does.
  void setOpensLinks(bool opensLinks) { opensLinks_ = opensLinks; }

  // "locationChangeClicked" in two halves. The first asks the folder chooser, started at the
  // workflow's install location and titled with the localised "Select"; it blocks until the
  // chooser closes, and gives nothing without a chooser or a workflow. A mediator whose process
  // has no chooser gets the answer some other way. The second makes the choice the workflow's
  // install location, then raises the path alert: with the page's title and text when the folder
  // may hold the installation (none when that data does not parse), else with the texts of the
  // check's error number and the location marked as incorrect.
  virtual std::optional<InstallLocationChoice> chooseInstallLocation(const std::string& data);
  void takeInstallLocation(const InstallLocationChoice& choice);

 private:
  using Handler = void (ViewMediatorBase::*)(const std::string& data);
  struct Row {
    const char* name;
    Handler handler;
  };
  static const Row kRows[];

  WorkflowManager* workflow() const;
  void setScreen(int screenId);
  static void event(const std::string& eventType);
  static void event(const std::string& eventType, const std::map<std::string, std::string>& params);
  void setState(uint32_t code);
  void setUIAction(int action);
  bool openUrl(const std::string& url, bool tracking, const char* what);

  void onCarouselLoadComplete(const std::string& data);
  void onOverrideCrossButtonState(const std::string& data);
  void onLocationChangeClicked(const std::string& data);
  void onLocationRetryClicked(const std::string& data);
  void onOpenUrl(const std::string& data);
  void onOpenFileUrl(const std::string& data);
  void onLearnMoreClicked(const std::string& data);
  void onPiiLearnMoreClicked(const std::string& data);
  void onCarouselCardDisplayed(const std::string& data);
  void onCarouselDotClicked(const std::string& data);
  void onDefaultContentShown(const std::string& data);
  void onWelcomeSignIn(const std::string& data);
  void onWelcomeSignUp(const std::string& data);
  void onWelcomeSocialSignIn(const std::string& data);
  void onSurveyContinue(const std::string& data);
  void onTestAppContinue(const std::string& data);
  void onPiiContinue(const std::string& data);
  void onCancel(const std::string& data);
  void onQuitYes(const std::string& data);
  void onQuitNo(const std::string& data);
  void onRetry(const std::string& data);
  void onProxyLogin(const std::string& data);

  ApplicationContext& context_;
  const std::shared_ptr<IInstallLocationBrowser> browser_;
  const ViewMediatorSettings settings_;
  bool opensLinks_ = true;  // set at construction only

  mutable std::mutex mutex_;
  bool signUpRequested_ = false;  // guarded by mutex_
  std::string socialProviderId_;  // guarded by mutex_
};
