#include "core/workflow/WorkflowUIActions.h"

#include <set>

#include "core/workflow/WorkflowAlerts.h"
#include "core/workflow/WorkflowManager.h"

WorkflowUIActions::WorkflowUIActions(WorkflowManager& workflow, IUIActionHost& host,
                                     WorkflowContext& context, WorkflowCollaborators& parts)
    : workflow_(workflow), host_(host), context_(context), parts_(parts) {}

bool WorkflowUIActions::process() {
  retried_ = false;
  const UIAction action = workflow_.uiAction();
  if (action == UIAction::kBlocked) return false;
  if (action == UIAction::kNone) return true;
  workflow_.setCurrentUIAction(UIAction::kNone);
  switch (action) {
    case UIAction::kProxyLogin:
      return proxyLogin();
    case UIAction::kRetry:
      retryCurrentStep();
      return true;
    case UIAction::kQuitRequested:
      requestQuit();
      return false;
    case UIAction::kQuitConfirmed:
      return quit();
    case UIAction::kQuitDeclined:
      parts_.view.updateCancelButtonState(true);
      if (workflow_.stateCode() == WorkflowState::kProductInstall) return true;
      workflow_.setUIFlags(UIFlag::kResume);
      return false;
    case UIAction::kLocationChosen:
      return locationChosen();
    case UIAction::kNone:
    case UIAction::kCleared:
    case UIAction::kBlocked:
      break;
  }
  return true;
}

bool WorkflowUIActions::proxyLogin() {
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  // The rerun step's requests go through the profile: it needs the new credentials too.
  parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
  parts_.view.setProxyCredentials(proxy.userName, proxy.password);
  if (auto analytics = parts_.analyticsNow()) {
    analytics->setProxyCredentials(proxy.userName, proxy.password);
  }
  parts_.gateway.sendProxyData();
  retryCurrentStep();
  return true;
}

bool WorkflowUIActions::locationChosen() {
  const std::string location = workflow_.installLocation();
  const std::string error = parts_.steps.products->validateInstallLocation(location);
  if (error.empty() || error == "0") {
    parts_.view.updateCancelButtonState(true);
    workflow_.sendProductUserAction("retry", true);
    return true;
  }
  std::string titleId;
  std::string textId;
  installLocationErrorIds(error, titleId, textId);
  workflow_.showPathErrorAlert(titleId, textId, location, true, "");
  return false;
}

void WorkflowUIActions::retryCurrentStep() {
  retried_ = true;
  parts_.view.updateCancelButtonState(true);
  switch (workflow_.stateCode()) {
    case WorkflowState::kSignInPage:
      parts_.view.showSpinnerScreen();
      parts_.view.showSignInView();
      break;
    case WorkflowState::kProductInstall:
      workflow_.sendProductUserAction("retry", false);
      break;
    case WorkflowState::kDesktopAppInstall: {
      const int error = host_.retryDesktopAppInstall();
      if (auto analytics = parts_.analyticsNow()) {
        analytics->sendDownloadRetryEvent(parts_.steps.desktopApp->codeToText(error));
      }
      break;
    }
    default:
      break;
  }
}

void WorkflowUIActions::requestQuit() {
  using S = WorkflowState;
  // The states before the installation starts end without asking.
  static const std::set<WorkflowState> quitAtOnce = {
      S::kNetworkCheck,  S::kCompatibilityCheck, S::kSignIn,        S::kSignInPage,
      S::kType3SignIn,   S::kDeviceToken,        S::kSurveyCheck,   S::kSurvey,
      S::kSurveyResults, S::kPrivacyNoticeCheck, S::kPrivacyNotice, S::kPrivacyNoticeAccepted};
  const WorkflowStateBlock block = workflow_.stateBlock();
  const bool ask = block.closeOverride == 0 &&
                   !quitAtOnce.count(static_cast<WorkflowState>(block.stateCode)) &&
                   block.retryMode != 0;
  if (ask) {
    workflow_.setCurrentUIAction(UIAction::kBlocked);
    workflow_.setUIFlags(UIFlag::kPause);
    parts_.view.showQuitConfirmation();
  } else {
    workflow_.setCurrentUIAction(UIAction::kQuitConfirmed);
  }
}

bool WorkflowUIActions::quit() {
  if (auto analytics = parts_.analyticsNow()) {
    analytics->sendServiceEventWithParams("lbs-quit-clicked", quitEventParams());
  }
  workflow_.setUIFlags(UIFlag::kCancel);
  parts_.view.showQuittingScreen();
  parts_.view.updateCancelButtonState(false);
  const WorkflowState state = workflow_.stateCode();
  if (state == WorkflowState::kProductInstall) {
    workflow_.sendProductUserAction("cancel", false);
    parts_.steps.products->joinProductInstallThread();
  } else if (state == WorkflowState::kDesktopAppInstall && !host_.otherProcessGone()) {
    // The install thread reads the cancel and ends the state itself; one that went with the
    // elevated copy never will, and the quit ends the workflow here.
    return true;
  }
  host_.endAfterQuit();
  return false;
}

std::map<std::string, std::string> WorkflowUIActions::quitEventParams() const {
  std::map<std::string, std::string> params;
  const auto screen = static_cast<ScreenId>(workflow_.stateBlock().screenId);
  const char* name = screenName(screen);
  if (!name) return params;
  params["screen-while-quit"] = name;
  if (screen == ScreenId::kMain) {
    const ProgressEstimateBlock estimate = workflow_.progressEstimate();
    params["minutes-left-min"] = std::to_string(estimate.minutesLeftMin);
    params["minutes-left-max"] = std::to_string(estimate.minutesLeftMax);
    params["progress-while-quit"] = std::to_string(estimate.progress);
  }
  return params;
}
