#include <string>

#include "core/config/ConfigValues.h"
#include "core/context/ApplicationContext.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowManager.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/logging/AbstractLogger.h"
#include "mediation/ui/SignInRedirects.h"
#include "mediation/ui/ViewMediatorUI.h"
#include "mediation/ui/ViewMediatorUIState.h"

// The interface mediator's sign-in pages: which page to load, the redirects that end or move the
// sign-in, and the pages' load failures.
namespace mediation {
using namespace mediator_detail;

namespace {

// The alert for a sign-in page that failed: the proxy prompt when the host could not be reached.
int kindError(int kind) {
  return kind == kLoadKindCannotConnect ? kStatusProxyAuthenticationRequired
                                        : kStatusNetworkUnavailable;
}

}  // namespace

// --- sign-in -----------------------------------------------------------------------------------

void ViewMediatorUI::showSignInView() {
  showMainView();
  showSpinnerScreen();
  WorkflowManager* workflow = workflowManager();
  if (workflow) workflow->setScreenId(ScreenId::kSpinnerBetweenWelcomeAndSignIn);
  state_->idraFailed = false;

  ApplicationContext& app = context();
  ISignInProfile* profile = app.userProfile.get();
  if (!profile) return;
  const std::string contextId = GetContextID(app.config);
  const std::string provider = socialProviderId();
  std::string answer;
  if (!provider.empty() &&
      profile->getSocialProvidersAuth(provider, app.locale, contextId, answer)) {
    Json::Value addresses;
    Json::Reader reader{Json::Features{}};
    const auto webAddress = [&addresses](const char* member) {
      const Json::Value& value = addresses[member];
      return value.type() == Json::stringValue && isWebAddress(value.asString()) ? value.asString()
                                                                                 : std::string();
    };
    // An answer without a page to load is no answer: the ordinary sign-in page follows.
    if (reader.parse(answer, addresses, false) && addresses.isObject() &&
        !webAddress("internal_url").empty()) {
      sendEvent("lbs-susi-social-start");
      loadIntoIdraView(webAddress("internal_url"));
      openInBrowser(webAddress("external_url"));
      return;
    }
  }
  sendEvent("lbs-susi-load-start");
  loadIntoIdraView(profile->getAuthorizeUrl(app.locale, contextId, signUpRequested()));
}

bool ViewMediatorUI::handleLoadComplete(const std::string& url, bool failure) {
  kLog(pando::kLogTrace, "handleLoadComplete: %s", maskedForLog(url).c_str());
  if (state_->idraFailed) {
    kLog(pando::kLogWarn, "Ignoring handleLoadComplete as idra html view is in error state");
    return false;
  }
  WorkflowManager* workflow = workflowManager();
  const SignInRedirect redirect = classifyRedirect(sentinelRoot(), url);
  switch (redirect.kind) {
    case RedirectKind::kType3:
      showMainView();
      showSpinnerScreen();
      if (workflow) workflow->setScreenId(ScreenId::kSpinnerAfterSignIn);
      createIdraType3View(redirect.redirectUri, getLocalizedText("Type3WindowTitle"));
      if (workflow) workflow->setStateCode(WorkflowState::kType3SignIn);
      return true;
    case RedirectKind::kDelegationStart:
      sendEvent("lbs-susi-social-start");
      if (redirect.internalUrl.empty()) {
        rejectRedirect(url);
        return true;
      }
      loadIntoIdraView(redirect.internalUrl);
      openInBrowser(redirect.externalUrl);
      return true;
    case RedirectKind::kDelegationEnd:
      sendEvent("lbs-susi-social-end");
      if (redirect.internalUrl.empty()) {
        showSignInView();
      } else {
        loadIntoIdraView(redirect.internalUrl);
        showMainView();
        showSpinnerScreen();
      }
      post([](State& state) { state.shell->bringWindowToFront(); });
      return true;
    case RedirectKind::kDelegationError:
      sendEvent("lbs-susi-social-error");
      if (workflow) workflow->showErrorAlertAndWait("ErrorSocialSignIn", 1, "", "", "", "", false);
      setSocialProviderId("");
      if (workflow) workflow->setStateCode(WorkflowState::kSignIn);
      post([](State& state) { state.shell->bringWindowToFront(); });
      return true;
    case RedirectKind::kDeviceToken:
      acceptDeviceToken(url, redirect.deviceToken);
      return true;
    case RedirectKind::kMalformed:
      rejectRedirect(url);
      return true;
    case RedirectKind::kNone:
      break;
  }
  if (failure) return false;
  if (workflow) workflow->setScreenId(ScreenId::kSignIn);
  sendEvent("lbs-susi-load-end");
  post([](State& state) {
    if (state.mainView) state.mainView->hide();
    if (state.idraView) state.idraView->show();
    if (state.visible.exchange(VisibleView::kIdra) == VisibleView::kIdraType3) {
      state.shell->hideIdraType3Window();
    }
  });
  return true;
}

void ViewMediatorUI::handleIdraType3LoadComplete(const std::string& url) {
  kLog(pando::kLogTrace, "handleIdraType3LoadComplete: %s", maskedForLog(url).c_str());
  if (state_->idraType3Failed) {
    kLog(pando::kLogWarn,
         "Ignoring handleIdraType3LoadComplete as idra type3 html view is in error state");
    return;
  }
  const SignInRedirect redirect = classifyRedirect(sentinelRoot(), url);
  if (redirect.kind == RedirectKind::kNone) {
    post([](State& state) {
      state.shell->showIdraType3Window();
      state.visible = VisibleView::kIdraType3;
    });
    return;
  }
  // Any address on the web host ends the type-3 page's part.
  post([](State& state) {
    state.shell->hideIdraType3Window();
    state.visible = VisibleView::kMain;
  });
  if (redirect.kind == RedirectKind::kDeviceToken) {
    acceptDeviceToken(url, redirect.deviceToken);
  } else {
    rejectRedirect(url);
  }
}

void ViewMediatorUI::acceptDeviceToken(const std::string& url, const std::string& token) {
  kLog(pando::kLogTrace, "got device token: %s", maskedForLog(url).c_str());
  if (ISignInProfile* profile = context().userProfile.get()) profile->setDeviceToken(token);
  showMainView();
  showSpinnerScreen();
  WorkflowManager* workflow = workflowManager();
  if (!workflow) return;
  workflow->setScreenId(ScreenId::kSpinnerAfterSignIn);
  workflow->setStateCode(WorkflowState::kDeviceToken);
}

void ViewMediatorUI::rejectRedirect(const std::string& url) {
  kLog(pando::kLogWarn, "Malformed sign-in redirect: %s", maskedForLog(url).c_str());
  if (WorkflowManager* workflow = workflowManager()) workflow->setStateCode(WorkflowState::kSignIn);
}

// --- load failures -----------------------------------------------------------------------------

void ViewMediatorUI::failSignInPage(int kind) {
  WorkflowManager* workflow = workflowManager();
  if (!workflow) return;
  workflow->setError(kindError(kind), true);
  workflow->setStateCode(WorkflowState::kSignIn);
}

void ViewMediatorUI::onMainLoadError(int kind, const std::string& url, int code) {
  kLog(pando::kLogError, "Error in main html type: %d url: %s code:%d", kind,
       maskedForLog(url).c_str(), code);
  // The local page's own resources failing is only worth the log line.
  if (url.rfind("file://", 0) == 0) return;
  if (kind == kLoadKindCannotConnect) {
    showMainView();
    if (WorkflowManager* workflow = workflowManager()) {
      workflow->setError(kStatusProxyAuthenticationRequired, true);
    }
  } else {
    showDefaultContent(url);
  }
}

void ViewMediatorUI::onIdraLoadError(int kind, const std::string& url, int code) {
  kLog(pando::kLogError, "Error in idra html type: %d url: %s code:%d", kind,
       maskedForLog(url).c_str(), code);
  if (handleLoadComplete(url, true)) return;
  state_->idraFailed = true;
  failSignInPage(kind);
}

void ViewMediatorUI::onIdraType3LoadError(int kind, const std::string& url, int code) {
  kLog(pando::kLogError, "Error in idratype3 html type: %d url: %s code:%d", kind,
       maskedForLog(url).c_str(), code);
  state_->idraType3Failed = true;
  failSignInPage(kind);
}

}  // namespace mediation
