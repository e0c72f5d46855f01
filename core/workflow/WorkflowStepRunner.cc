#include "core/workflow/WorkflowStepRunner.h"

#include <map>

#include "core/config/ConfigValues.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowLocks.h"
#include "core/workflow/WorkflowManager.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"

namespace {

// The workflow's own lines: its log keeps them under its name.
constexpr pando::ComponentLog kLog{"WorkflowManager"};

// What the profile's network check answers besides 0, reachable.
constexpr int kNetworkUnavailable = 1;
constexpr int kProxyCredentialsNeeded = 2;
// What the survey answers when there is none to show.
constexpr int kNoSurvey = 2;
// The product whose launch takes longer.
constexpr char kLongLaunchSapCode[] = "KVRQ";

}  // namespace

WorkflowStepRunner::WorkflowStepRunner(Parts parts)
    : workflow_(parts.workflow),
      host_(parts.host),
      context_(parts.context),
      parts_(parts.parts),
      role_(parts.role),
      settings_(parts.settings),
      locks_(parts.locks) {}

WorkflowStepRunner::Handler WorkflowStepRunner::handlerOf(WorkflowState state) {
  using S = WorkflowState;
  using R = WorkflowStepRunner;
  static const std::map<WorkflowState, Handler> table = {
      {S::kAcquireLocks, &R::acquireLocks},
      {S::kSystemCheck, &R::systemCheck},
      {S::kRestoreProxyCredentials, &R::restoreProxyCredentials},
      {S::kNetworkCheck, &R::networkCheck},
      {S::kCompatibilityCheck, &R::compatibilityCheck},
      {S::kFirstScreen, &R::firstScreen},
      {S::kSignIn, &R::signIn},
      {S::kDeviceToken, &R::deviceToken},
      {S::kSurveyCheck, &R::surveyCheck},
      {S::kSurveyResults, &R::surveyResults},
      {S::kPrivacyNoticeCheck, &R::privacyNoticeCheck},
      {S::kPrivacyNoticeAccepted, &R::privacyNoticeAccepted},
      {S::kMainScreen, &R::mainScreen},
      {S::kApplicationsDocument, &R::applicationsDocument},
      {S::kInstallerLibrary, &R::installerLibrary},
      {S::kStartDesktopAppInstall, &R::startDesktopAppInstall},
      {S::kDesktopAppInstalled, &R::desktopAppInstalled},
      {S::kHelperHandshake, &R::helperHandshake},
      {S::kStartProductInstall, &R::startProductInstall},
      {S::kLaunch, &R::launch},
      {S::kFailedFinal, &R::finish},
      {S::kFinal, &R::finish},
  };
  const auto found = table.find(state);
  return found == table.end() ? nullptr : found->second;
}

void WorkflowStepRunner::run(WorkflowState state) {
  if (const Handler handler = handlerOf(state)) (this->*handler)();
}

WorkflowStepRunner::Link WorkflowStepRunner::peerLink() const {
  if (role_ != WorkflowRole::kUser) return Link::kReady;
  switch (parts_.gateway.linkState()) {
    case IMessageGateway::LinkState::kConnected:
      return Link::kReady;
    case IMessageGateway::LinkState::kLinking:
      return Link::kWait;
    case IMessageGateway::LinkState::kDown:
      break;
  }
  kLog(pando::kLogError, "Error Case: In parent process and otherProcessNotActive");
  return Link::kDead;
}

void WorkflowStepRunner::event(const char* name) {
  if (auto analytics = parts_.analyticsNow()) analytics->sendServiceEvent(name);
}

void WorkflowStepRunner::acquireLocks() {
  if (const auto failure = locks_.acquire()) {
    workflow_.setError(failure->status, failure->retry);
    return;
  }
  workflow_.setStateCode(WorkflowState::kSystemCheck);
}

void WorkflowStepRunner::systemCheck() {
  const auto failure = WorkflowLocks::checkSystem(context_.config, settings_.caseCheckRoot,
                                                  context_.requiredOsVersion);
  if (failure) {
    workflow_.setError(failure->status, failure->retry);
    return;
  }
  if (GetCheckForCompatibility(context_.config)) {
    parts_.steps.compatibility->fetchHardwareSummary();
  }
  workflow_.setStateCode(WorkflowState::kRestoreProxyCredentials);
}

void WorkflowStepRunner::restoreProxyCredentials() {
  ProxyCredentials saved = context_.proxyCredentials.get();
  ProxyCredentials stored;
  parts_.steps.choices->readProxyCredentials(stored);
  saved.userName = stored.userName;
  saved.password = stored.password;
  context_.proxyCredentials.set(saved);
  parts_.view.setProxyCredentials(saved.userName, saved.password);
  if (auto analytics = parts_.analyticsNow()) {
    analytics->setProxyCredentials(saved.userName, saved.password);
  }
  parts_.gateway.sendProxyData();
  workflow_.setStateCode(WorkflowState::kNetworkCheck);
}

void WorkflowStepRunner::networkCheck() {
  const bool checkCompatibility = GetCheckForCompatibility(context_.config);
  parts_.view.showSpinnerScreen();
  workflow_.setScreenId(ScreenId::kSpinnerBeforeWelcome);
  parts_.profile.getSocialProvidersList(checkCompatibility);
  if (checkCompatibility) parts_.steps.compatibility->fetchCompatibilityScript();
  switch (parts_.profile.waitForSocialProvidersResult()) {
    case kProxyCredentialsNeeded:
      workflow_.setCurrentUIAction(UIAction::kBlocked);
      parts_.view.showProxyAlert();
      break;
    case kNetworkUnavailable:
      workflow_.setError(kStatusNetworkUnavailable, true);
      break;
    default:
      workflow_.setStateCode(checkCompatibility ? WorkflowState::kCompatibilityCheck
                                                : WorkflowState::kFirstScreen);
      break;
  }
}

void WorkflowStepRunner::compatibilityCheck() {
  std::string alertText;
  bool warnOnly = false;
  const bool passed = parts_.steps.compatibility->checkCompatibility(alertText, warnOnly);
  // A quit asked while the script ran is taken here, where it needs no confirmation.
  if (host_.quitPending()) return;
  if (passed) {
    workflow_.setStateCode(WorkflowState::kFirstScreen);
    return;
  }
  host_.blockForAlert(warnOnly ? 1 : 0);
  parts_.view.showCompatibilityErrorAlert(alertText);
  workflow_.syncState();
}

void WorkflowStepRunner::firstScreen() {
  switch (peerLink()) {
    case Link::kWait:
      return;
    case Link::kDead:
      workflow_.setError(kStatusError, false);
      return;
    case Link::kReady:
      break;
  }
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
  if (context_.isTestWorkflow) {
    workflow_.setScreenId(ScreenId::kWelcome);
    parts_.view.showWelcomeScreen("");
    workflow_.setStateCode(WorkflowState::kWelcome);
  } else if (parts_.profile.getDefaultUserForClientId()) {
    event("lbs-already-signed-in");
    workflow_.setStateCode(WorkflowState::kSurveyCheck);
  } else if (!GetUserGuid(context_.config).empty()) {
    event("lbs-welcome-skipped");
    workflow_.setStateCode(WorkflowState::kSignIn);
  } else {
    workflow_.setScreenId(ScreenId::kWelcome);
    parts_.view.showWelcomeScreen(parts_.profile.firstText());
    workflow_.setStateCode(WorkflowState::kWelcome);
  }
}

void WorkflowStepRunner::signIn() {
  parts_.view.showSignInView();
  workflow_.setStateCode(WorkflowState::kSignInPage);
}

void WorkflowStepRunner::deviceToken() {
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  if (proxy.remember) parts_.steps.choices->saveProxyCredentials(proxy);
  parts_.profile.initWithDeviceToken();
  event("lbs-login");
  workflow_.setStateCode(context_.isTestWorkflow ? WorkflowState::kMainScreen
                                                 : WorkflowState::kSurveyCheck);
}

void WorkflowStepRunner::surveyCheck() {
  parts_.steps.choices->updateVisitorId();
  const int status = parts_.survey.fetchSurveyContext();
  if (status != kNoSurvey && GetShowSurvey(context_.config)) {
    workflow_.setScreenId(ScreenId::kSurvey);
    parts_.view.showSurveyScreen(status);
    parts_.survey.sendPageViewBeacon(true);
    workflow_.setStateCode(WorkflowState::kSurvey);
  } else {
    event("lbs-survey-skipped");
    workflow_.setStateCode(WorkflowState::kPrivacyNoticeCheck);
  }
}

void WorkflowStepRunner::surveyResults() {
  workflow_.setScreenId(ScreenId::kSpinnerAfterSurvey);
  parts_.view.showSpinnerScreen();
  parts_.survey.sendSurveyResults();
  workflow_.setStateCode(WorkflowState::kPrivacyNoticeCheck);
}

void WorkflowStepRunner::privacyNoticeCheck() {
  if (!parts_.steps.choices->privacyNoticeAccepted()) {
    workflow_.setScreenId(ScreenId::kPrivacyNotice);
    parts_.view.showPiiScreen();
    workflow_.setStateCode(WorkflowState::kPrivacyNotice);
  } else {
    event("lbs-pii-already-accepted");
    workflow_.setStateCode(WorkflowState::kMainScreen);
  }
}

void WorkflowStepRunner::privacyNoticeAccepted() {
  parts_.steps.choices->storePrivacyNotice();
  workflow_.setStateCode(WorkflowState::kMainScreen);
}

void WorkflowStepRunner::mainScreen() {
  // While the elevated copy is still linking the main screen waits, not to be shown over again.
  const Link link = peerLink();
  if (link == Link::kWait) return;
  if (auto analytics = parts_.analyticsNow()) analytics->sendCarouselLoadEvent(true);
  workflow_.setScreenId(ScreenId::kMain);
  parts_.view.showMainScreen();
  if (link == Link::kDead) {
    workflow_.setError(kStatusError, false);
    return;
  }
  if (context_.isTestWorkflow) {
    parts_.view.updateProductProgress(100);
    workflow_.setStateCode(WorkflowState::kPrivacyNotice);
    return;
  }
  parts_.gateway.sendInitPacket();
  workflow_.setStateCode(WorkflowState::kApplicationsDocument);
  workflow_.syncState();
}

void WorkflowStepRunner::applicationsDocument() {
  std::string& path = applicationsDocumentPath_;
  if (!parts_.steps.desktopApp->downloadApplicationsDocument(workflow_, path)) {
    kLog(pando::kLogError, "Failed in  downloading application xml at path %s", path.c_str());
    return;
  }
  kLog(pando::kLogInfo, "Successfully downloaded application xml at path %s", path.c_str());
  workflow_.showTarnProgress(2.0f);
  if (!parts_.steps.desktopApp->readApplicationsDocument(path, application_)) {
    kLog(pando::kLogError, "Failed in reading applicationInfo xml");
    workflow_.setStateCode(WorkflowState::kInstallerLibrary);
    workflow_.setError(kStatusCorruptedApplicationXml, false);
    return;
  }
  if (auto analytics = parts_.analyticsNow()) {
    analytics->setVersionDownloading(application_.desktopAppVersion);
  }
  parts_.view.updateTarnInstallWeightage(std::to_string(application_.totalAssetSize));
  workflow_.setStateCode(WorkflowState::kInstallerLibrary);
  workflow_.syncState();
}

void WorkflowStepRunner::installerLibrary() {
  if (!parts_.steps.desktopApp->acquireInstallerLibrary(workflow_, application_)) {
    kLog(pando::kLogError, "Failed in download or load PIM ");
    return;
  }
  workflow_.showTarnProgress(5.0f);
  workflow_.setStateCode(WorkflowState::kStartDesktopAppInstall);
  workflow_.syncState();
}

void WorkflowStepRunner::startDesktopAppInstall() {
  // The install thread may set its final state before the start returns: the wait state goes
  // first, so that it never overwrites the thread's result.
  workflow_.setStateCode(WorkflowState::kDesktopAppInstall);
  if (!parts_.steps.desktopApp->startInstallWorkflow(workflow_)) {
    workflow_.setStateCode(WorkflowState::kFinal);
  }
  workflow_.syncState();
}

bool WorkflowStepRunner::launchHelper(const std::string& reinitName, const char* failure) {
  if (parts_.installHelper->LaunchInstallHelper(reinitName)) return true;
  if (host_.quitPending()) return false;
  kLog(pando::kLogError, "%s", failure);
  return true;
}

void WorkflowStepRunner::desktopAppInstalled() {
  const InstallHelperChannels channels = context_.installHelperChannels.get();
  if (!firstHelperLaunched_) {
    if (!launchHelper(channels.first, "Failed to launch Install Helper")) return;
    firstHelperLaunched_ = true;
  }
  if (!launchHelper(channels.second, "Failed to launch second Install Helper")) return;
  workflow_.showTarnProgress(100.0f);
  workflow_.setStateCode(WorkflowState::kHelperHandshake);
  workflow_.syncState();
  // The user's process goes on alone; this copy has nothing left to do.
  if (role_ == WorkflowRole::kSilent) workflow_.setStateCode(WorkflowState::kFinal);
}

void WorkflowStepRunner::helperHandshake() {
  if (!parts_.installHelper->Handshake(context_.installHelperChannels.get().second)) {
    if (host_.quitPending()) return;  // cut short: after a declined quit it waits again
    kLog(pando::kLogError, "Failed to handshake with second Install Helper");
  }
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
  parts_.profile.storeDeviceToken();
  parts_.view.updateProductProgress(1);
  workflow_.setStateCode(WorkflowState::kStartProductInstall);
}

void WorkflowStepRunner::startProductInstall() {
  // The applet host may report before the start returns: it must find the workflow waiting.
  workflow_.setStateCode(WorkflowState::kProductInstall);
  if (parts_.steps.products->startProductInstallWorkflow(workflow_)) {
    appletWorkflowStarted_ = true;
  } else {
    workflow_.setStateCode(WorkflowState::kFinal);
  }
}

// A quit cuts either wait short. Before the launch it is asked as in any other state, and after a
// declined one the pause begins again. Once the desktop application runs the installation is
// over: a quit from the page only ends the wait for it, and the step finishes.
void WorkflowStepRunner::launch() {
  if (launchStage_ == LaunchStage::kNotBegun) {
    workflow_.setScreenId(ScreenId::kLaunch);
    parts_.view.showLaunchingProductScreen();
    locks_.release();
    parts_.steps.launch->releaseInstallLock();
    event("lbs-product-launch");
    launchStage_ = LaunchStage::kPausing;
  }
  if (launchStage_ == LaunchStage::kPausing) {
    if (!host_.pause(settings_.launchPause)) return;
    parts_.steps.launch->launchDesktopApp();
    launchStage_ = LaunchStage::kStarted;
  }
  const bool longWait = GetSapCode(context_.config) == kLongLaunchSapCode;
  if (!host_.pause(longWait ? settings_.launchWaitLong : settings_.launchWait)) {
    if (workflow_.stopping() || context_.quitRequested) return;
    workflow_.setCurrentUIAction(UIAction::kNone);
  }
  workflow_.setStateCode(WorkflowState::kFinal);
  parts_.steps.launch->loadLaunchAgent();
  parts_.steps.launch->relaunchFromTempLocation();
}

void WorkflowStepRunner::finish() {
  context_.quitRequested = true;
  parts_.view.hideMainWindow();
  if (appletWorkflowStarted_) {
    kLog(pando::kLogInfo, "End LoomIM workflow returned: %d", parts_.applets.FinalizeCore());
  }
  locks_.release();
  parts_.steps.launch->releaseInstallLock();
  parts_.view.terminateApplication();
}
