#include "core/workflow/WorkflowManager.h"

#include <cinttypes>
#include <set>

#include "core/config/ConfigValues.h"
#include "core/workflow/InstallerStatus.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/system/HardwareUtils.h"
#include "foundation/xml/XMLParser.h"
#include "platform/system/VolumeCaseSensitivity.h"

namespace {

constexpr char kComponent[] = "WorkflowManager";
constexpr int kUserSettingsFolder = 22;

constexpr int kBootstrapperLockId = 0x0232AEA8;
constexpr int kLbsLockId = 0x4394AC9D;
constexpr int kMarlLockId = 0x7D026448;
constexpr int kQuarryLockId = 0x00856E61;
constexpr int kQuarryInitialCount = 255;

constexpr uint32_t kUserOnly = 1;
constexpr uint32_t kAdminOnly = 2;
constexpr uint32_t kWait = 4;

enum Action {
  kNone = 0,
  kProxyLogin,
  kCleared,
  kRetry,
  kQuitRequested,
  kQuitConfirmed,
  kQuitDeclined,
  kLocationChosen,
  kBlocked
};


template <typename... Args>
void log(int level, const char* format, Args... args) {
  LogCallback(level, kBootstrapperModule, kComponent, "", "", format, args...);
}

const char* setErrorTextId(int error, bool retry) {
  static const std::map<int, const char*> table = {
      {4, "TarnInstallBriskFailed"},
      {21, "InitErrorIncompatibleOS"},
      {22, "InitErrorCaseSensitiveVolume"},
      {23, "TarnInstallErrorDiskSpace"},
      {24, "TarnInstallAdminError"},
      {41, "TarnInstallFileAccessErrorInstall"},
      {42, "TarnInstallFileAccessErrorInstall"},
      {43, "TarnInstallFileCopyErrorInstall"},
      {44, "TarnInstallFileCreateErrorInstall"},
      {45, "TarnInstallFileAccessErrorInstall"},
      {46, "TarnInstallFileAccessErrorInstall"},
      {47, "TarnInstallFileAccessErrorInstall"},
      {48, "TarnInstallFileAccessErrorInstall"},
      {49, "TarnInstallFileAccessErrorInstall"},
      {71, "InitErrorNetworkPath"},
      {72, "TarnInstallBriskFailed"},
      {73, "TarnInstallBriskFailed"},
      {81, "InitErrorAnotherInstallerRunning"},
      {82, "TarnInstallWaitOrCloseOtherInstances"},
      {83, "TarnInstallWaitOrCloseOtherInstances"},
      {84, "TarnInstallWaitOrCloseOtherInstancesNotifier"},
      {85, "TarnInstallWaitOrCloseOtherInstancesNotifier"},
      {86, "TarnInstallWaitOrCloseOtherInstancesCorvel"},
      {87, "TarnInstallAnotherMSIRunning"},
      {88, "TarnInstallOrvelDetecPluginLoaded"},
      {201, "TarnInstallErrorDownloadError"},
      {202, "TarnDownloadExtractionError"},
      {203, "TarnInstallBriskFailed"},
      {204, "TarnInstallFileAccessError"},
      {205, "TarnInstallBriskFailed"},
      {206, "TarnInstallNetworkUnavailable"},
      {207, "TarnInstallDownloadServerErr"},
      {208, "TarnInstallDownloadDiskSpaceErr"},
      {209, "TarnInstallDownloadPermisionErr"},
      {210, "TarnInstallErrorDownloadError"},
      {211, "TarnInstallErrorDownloadError"},
      {213, "TarnInstallErrorDownloadError"},
      {214, "TarnInstallBriskFailed"},
  };
  if (error == kStatusProxyAuthenticationRequired && !retry) return "TarnInstallDownloadResumableErr";
  auto found = table.find(error);
  return found == table.end() ? "InitErrorGeneric" : found->second;
}

// How an error alert of the product installation shows.
struct ProductAlert {
  const char* errorType;
  const char* errorTitle;
  enum Param { kNoParam, kProductName, kDriveName, kConflictingProcess, kMoreInfo } param;
  int mode;  // -1: the record's resumable flag
};

const ProductAlert& productAlertFor(int code) {
  using P = ProductAlert;
  static const ProductAlert invalidFile{"ProductInstallationInvalidFile", "", P::kNoParam, 0};
  static const ProductAlert initFailed{"ProductInstallationInitializeFailed", "", P::kProductName,
                                       -1};
  static const ProductAlert httpError{"ProductInstallationgenericHTTPError",
                                      "ProductInstallationTitlegenericHTTPError", P::kNoParam, -1};
  static const ProductAlert extraction{"ProductInstallationgenericExtractionErr", "", P::kNoParam,
                                       -1};
  static const ProductAlert diskSpace{"ProductInstallationdiskSpaceErr",
                                      "ProductInstallationTitlediskSpaceErr", P::kDriveName, -1};
  static const ProductAlert symlink{"ProductInstallationSymlinkCreateError", "", P::kProductName,
                                    -1};
  static const std::map<int, ProductAlert> rows = {
      {104, invalidFile},
      {107, invalidFile},
      {115, invalidFile},
      {116, invalidFile},
      {117, invalidFile},
      {126, invalidFile},
      {128, invalidFile},
      {139, invalidFile},
      {143, invalidFile},
      {209, invalidFile},
      {105, initFailed},
      {108, {"ProductInstallationmsiRunningErr", "", P::kNoParam, 0}},
      {113, httpError},
      {122, httpError},
      {123, httpError},
      {125, httpError},
      {114, extraction},
      {127, extraction},
      {118,
       {"ProductInstallationnetworkUnavailable", "ProductInstallationTitlegenericHTTPError",
        P::kNoParam, -1}},
      {119,
       {"ProductInstallationnetworkUnavailableRetry", "ProductInstallationTitlegenericHTTPError",
        P::kNoParam, -1}},
      {120, diskSpace},
      {203, diskSpace},
      {121, {"ProductInstallationwriteErrorNew", "", P::kNoParam, 0}},
      {131,
       {"ProductInstallationconflictingProcessErr", "ProductInstallationTitleConflict",
        P::kConflictingProcess, 2}},
      {138, {"ProductInstallationNoMemoryError", "", P::kNoParam, 0}},
      {145, {"ProductInstallationFileAlreadyExist", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {146, {"ProductInstallationFileMoveError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {147, {"ProductInstallationFileCopyError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {149, {"ProductInstallationFolderDelError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {150, {"ProductInstallationFileDelError", "InstallationFailedTitle", P::kMoreInfo, 0}},
      {151, symlink},
      {156, symlink},
      {160,
       {"ProductInstallationRegistryError", "ProductInstallationTitleRegistryError", P::kNoParam,
        -1}},
      {202, {"ProductInstallationpathUnavailableFatal", "", P::kNoParam, 0}},
      {204, {"ProductInstallationmaxPathErr", "", P::kNoParam, 0}},
      {206, {"ProductInstallationsystemReqErr", "", P::kProductName, 0}},
      {207, {"ProductInstallationbetaVersionErr", "", P::kProductName, 0}},
      {208, {"ProductInstallationSyncFailureError", "", P::kProductName, 0}},
      {301, {"ProductInstallationDLLPatchRequiredErr", "", P::kProductName, 0}},
  };
  auto found = rows.find(code);
  return found == rows.end() ? initFailed : found->second;
}

// The text of `query` in the XML text; "" when it is not XML or has no such element.
std::string xmlValue(const char* xml, const char* query) {
  if (!xml || !*xml) return "";
  XMLParser parser;
  std::string value;
  if (!parser.initWithXMLString(xml) || !parser.stringValueForXQuery(query, value)) return "";
  return value;
}

const char* screenName(int id) {
  static const char* const names[] = {"No-Screen",      "Spinner-before-Welcome-Screen",
                                      "Welcome-Screen", "Spinner-between-Welcome-SUSI",
                                      "SUSI-Screen",    "Spinner-after-SUSI-Screen",
                                      "Survey-Screen",  "Spinner-after-Survey-Screen",
                                      "PII-Screen",     "Main-Screen",
                                      "Launch-Screen"};
  return id >= 0 && id <= 10 ? names[id] : nullptr;
}

}  // namespace

WorkflowManager::WorkflowManager(WorkflowContext context, WorkflowCollaborators parts,
                                 WorkflowRole role, WorkflowSettings settings)
    : context_(std::move(context)),
      parts_(std::move(parts)),
      role_(role),
      settings_(std::move(settings)) {
  // The copies start zeroed, so the first syncState sends the block.
  lastSentBlock_.retryMode = 0;
  // A helper's launch or handshake can wait an hour; a quit or a stop must not wait with it.
  if (parts_.installHelper) {
    parts_.installHelper->setQuitCheck(
        [this] { return context_.quitRequested.load() || stopping(); });
  }
  // So does the compatibility script, which may never return; there a quit the page asked for
  // counts too, as the step is busy and cannot read it.
  if (parts_.steps.compatibility) {
    parts_.steps.compatibility->setQuitCheck([this] { return quitPending(); });
  }
}

WorkflowManager::~WorkflowManager() {
  StopWorkflow();
}

// ---- thread ----

bool WorkflowManager::StartWorkflow() {
  std::lock_guard threadLock(threadMutex_);
  if (workflowThread_.getThread() != 0) {
    log(pando::kLogWarn, "StartWorkflow: thread (%lu) is already running",
        static_cast<unsigned long>(workflowThread_.getThread()));
    return true;
  }
  {
    std::lock_guard lock(mutex_);
    // A state the other process sent before this start is kept, not lost to the first state.
    if (block_.stateCode == 0) block_.stateCode = context_.isTestWorkflow ? 0x601 : 0x101;
    stopping_ = false;
  }
  if (!workflowThread_.startThread(&WorkflowManager::threadEntry, this)) {
    log(pando::kLogWarn, "failed to create a new worker thread.");
    return false;
  }
  return true;
}

void WorkflowManager::StopWorkflow() {
  {
    std::lock_guard threadLock(threadMutex_);
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (workflowThread_.getThread() != 0) workflowThread_.stopThread();
  }
  // Only now: a step running during the stop (0x1502, 0x1901) may still start these threads.
  parts_.steps.desktopApp->joinInstallThread();
  parts_.steps.products->joinProductInstallThread();
}

void* WorkflowManager::threadEntry(void* self) {
  static_cast<WorkflowManager*>(self)->workflowThreadProc();
  return nullptr;
}

void WorkflowManager::workflowThreadProc() {
  while (!context_.quitRequested && pause(settings_.tick)) runStep();
}

bool WorkflowManager::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

bool WorkflowManager::quitPending() const {
  std::lock_guard lock(mutex_);
  return stopping_ || context_.quitRequested || block_.uiAction == kQuitRequested ||
         block_.uiAction == kQuitConfirmed;
}

// Waits in slices of a tick so that a quit set from outside is seen; false when the workflow is
// to end.
bool WorkflowManager::pause(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  std::unique_lock lock(mutex_);
  while (!stopping_ && !context_.quitRequested) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    wake_.wait_for(lock,
                   std::min<std::chrono::steady_clock::duration>(until - now, settings_.tick));
  }
  return false;
}

// ---- the step ----

void WorkflowManager::runStep() {
  const uint32_t code = stateCode();
  if ((code & kUserOnly) && role_ == WorkflowRole::kSilent) return;
  if ((code & kAdminOnly) && role_ == WorkflowRole::kUser) {
    // The elevated copy runs this state. Without it the user must be able to see why and quit.
    if (parts_.gateway.linkState() != IMessageGateway::LinkState::kDown) return;
    if (!deadLinkRaised_) {
      deadLinkRaised_ = true;
      log(pando::kLogError, "Error Case: In parent process and otherProcessNotActive");
      setError(kStatusError, false);
    }
    if (!processUIAction()) syncState();
    return;
  }
  retried_ = false;
  if (!processUIAction()) {
    syncState();
    return;
  }
  if (code & kWait) return;
  runStepOf(code);
  // The retried step went on without a new alert: its error is over, and a later quit is the
  // user's own (215), not that error.
  if (retried_ && stateCode() != code) {
    std::lock_guard lock(mutex_);
    if (block_.uiAction != kBlocked) lastError_ = 0;
  }
}

WorkflowManager::Link WorkflowManager::peerLink() const {
  if (role_ != WorkflowRole::kUser) return Link::kReady;
  switch (parts_.gateway.linkState()) {
    case IMessageGateway::LinkState::kConnected:
      return Link::kReady;
    case IMessageGateway::LinkState::kLinking:
      return Link::kWait;
    case IMessageGateway::LinkState::kDown:
      break;
  }
  log(pando::kLogError, "Error Case: In parent process and otherProcessNotActive");
  return Link::kDead;
}

void WorkflowManager::event(const char* name) {
  if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
    analytics->sendServiceEvent(name);
  }
}

void WorkflowManager::runStepOf(uint32_t code) {
  const bool checkCompatibility = GetCheckForCompatibility(context_.config);
  switch (code) {
    case 0x101:
      if (acquireLocks()) setStateCode(0x201);
      break;
    case 0x201:
      if (!checkSystem()) break;
      if (checkCompatibility) parts_.steps.compatibility->fetchHardwareSummary();
      setStateCode(0x301);
      break;
    case 0x301: {
      ProxyCredentials saved = context_.proxyCredentials.get();
      ProxyCredentials stored;
      parts_.steps.choices->readProxyCredentials(stored);
      saved.userName = stored.userName;
      saved.password = stored.password;
      context_.proxyCredentials.set(saved);
      parts_.view.setProxyCredentials(saved.userName, saved.password);
      if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
        analytics->setProxyCredentials(saved.userName, saved.password);
      }
      parts_.gateway.sendProxyData();
      setStateCode(0x401);
      break;
    }
    case 0x401:
      stepNetworkCheck();
      break;
    case 0x501: {
      std::string alertText;
      bool warnOnly = false;
      const bool passed = parts_.steps.compatibility->checkCompatibility(alertText, warnOnly);
      // A quit asked while the script ran is taken here, where it needs no confirmation.
      if (quitPending()) break;
      if (passed) {
        setStateCode(0x601);
        break;
      }
      setCurrentUIAction(kBlocked);
      {
        std::lock_guard lock(mutex_);
        block_.errorCode = 0;
        block_.retryMode = warnOnly ? 1 : 0;
      }
      parts_.view.showCompatibilityErrorAlert(alertText);
      syncState();
      break;
    }
    case 0x601:
      stepFirstScreen();
      break;
    case 0x801:
      parts_.view.showSignInView();
      setStateCode(0x905);
      break;
    case 0xB01: {
      const ProxyCredentials proxy = context_.proxyCredentials.get();
      if (proxy.remember) parts_.steps.choices->saveProxyCredentials(proxy);
      parts_.profile.initWithDeviceToken();
      event("lbs-login");
      setStateCode(context_.isTestWorkflow ? 0x1201 : 0xC01);
      break;
    }
    case 0xC01: {
      parts_.steps.choices->updateVisitorId();
      const int status = parts_.survey.fetchSurveyContext();
      if (status != 2 && GetShowSurvey(context_.config)) {
        setScreenId(6);
        parts_.view.showSurveyScreen(status);
        parts_.survey.sendPageViewBeacon(true);
        setStateCode(0xD05);
      } else {
        event("lbs-survey-skipped");
        setStateCode(0xF01);
      }
      break;
    }
    case 0xE01:
      setScreenId(7);
      parts_.view.showSpinnerScreen();
      parts_.survey.sendSurveyResults();
      setStateCode(0xF01);
      break;
    case 0xF01:
      if (!parts_.steps.choices->privacyNoticeAccepted()) {
        setScreenId(8);
        parts_.view.showPiiScreen();
        setStateCode(0x1005);
      } else {
        event("lbs-pii-already-accepted");
        setStateCode(0x1201);
      }
      break;
    case 0x1101:
      parts_.steps.choices->storePrivacyNotice();
      setStateCode(0x1201);
      break;
    case 0x1201:
      stepMainScreen();
      break;
    case 0x1302:
      stepApplicationsDocument();
      break;
    case 0x1402:
      if (!parts_.steps.desktopApp->acquireInstallerLibrary(*this, application_)) {
        log(pando::kLogError, "Failed in download or load PIM ");
        break;
      }
      showTarnProgress(5.0f);
      setStateCode(0x1502);
      syncState();
      break;
    case 0x1502:
      // The install thread may set its final state before the start returns: the wait state
      // goes first, so that it never overwrites the thread's result.
      setStateCode(0x1606);
      if (!parts_.steps.desktopApp->startInstallWorkflow(*this)) setStateCode(0x1D00);
      syncState();
      break;
    case 0x1702: {
      const InstallHelperChannels channels = context_.installHelperChannels.get();
      if (!parts_.installHelper->LaunchInstallHelper(channels.first)) {
        log(pando::kLogError, "Failed to launch Install Helper");
      }
      if (!parts_.installHelper->LaunchInstallHelper(channels.second)) {
        log(pando::kLogError, "Failed to launch second Install Helper");
      }
      showTarnProgress(100.0f);
      setStateCode(0x1801);
      syncState();
      // The user's process goes on alone; this copy has nothing left to do.
      if (role_ == WorkflowRole::kSilent) setStateCode(0x1D00);
      break;
    }
    case 0x1801: {
      if (!parts_.installHelper->Handshake(context_.installHelperChannels.get().second)) {
        log(pando::kLogError, "Failed to handshake with second Install Helper");
      }
      const ProxyCredentials proxy = context_.proxyCredentials.get();
      parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
      parts_.profile.storeDeviceToken();
      parts_.view.updateProductProgress(1);
      setStateCode(0x1901);
      break;
    }
    case 0x1901:
      // The applet host may report before the start returns: it must find the workflow waiting.
      setStateCode(0x1A05);
      if (parts_.steps.products->startProductInstallWorkflow(*this)) {
        appletWorkflowStarted_ = true;
      } else {
        setStateCode(0x1D00);
      }
      break;
    case 0x1B01:
      stepLaunch();
      break;
    case 0x1C00:
    case 0x1D00:
      stepFinal();
      break;
    default:
      break;
  }
}

void WorkflowManager::stepNetworkCheck() {
  const bool checkCompatibility = GetCheckForCompatibility(context_.config);
  parts_.view.showSpinnerScreen();
  setScreenId(1);
  parts_.profile.getSocialProvidersList(checkCompatibility);
  if (checkCompatibility) parts_.steps.compatibility->fetchCompatibilityScript();
  switch (parts_.profile.waitForSocialProvidersResult()) {
    case 2:
      setCurrentUIAction(kBlocked);
      parts_.view.showProxyAlert();
      break;
    case 1:
      setError(kStatusNetworkUnavailable, true);
      break;
    default:
      setStateCode(checkCompatibility ? 0x501 : 0x601);
      break;
  }
}

void WorkflowManager::stepFirstScreen() {
  switch (peerLink()) {
    case Link::kWait:
      return;
    case Link::kDead:
      setError(kStatusError, false);
      return;
    case Link::kReady:
      break;
  }
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
  if (context_.isTestWorkflow) {
    setScreenId(2);
    parts_.view.showWelcomeScreen("");
    setStateCode(0x705);
  } else if (parts_.profile.getDefaultUserForClientId()) {
    event("lbs-already-signed-in");
    setStateCode(0xC01);
  } else if (!GetUserGuid(context_.config).empty()) {
    event("lbs-welcome-skipped");
    setStateCode(0x801);
  } else {
    setScreenId(2);
    parts_.view.showWelcomeScreen(parts_.profile.firstText());
    setStateCode(0x705);
  }
}

void WorkflowManager::stepMainScreen() {
  // While the elevated copy is still linking the main screen waits, not to be shown over again.
  const Link link = peerLink();
  if (link == Link::kWait) return;
  if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
    analytics->sendCarouselLoadEvent(true);
  }
  setScreenId(9);
  parts_.view.showMainScreen();
  if (link == Link::kDead) {
    setError(kStatusError, false);
    return;
  }
  if (context_.isTestWorkflow) {
    parts_.view.updateProductProgress(100);
    setStateCode(0x1005);
    return;
  }
  parts_.gateway.sendInitPacket();
  setStateCode(0x1302);
  syncState();
}

void WorkflowManager::stepApplicationsDocument() {
  std::string& path = applicationsDocumentPath_;
  if (!parts_.steps.desktopApp->downloadApplicationsDocument(*this, path)) {
    log(pando::kLogError, "Failed in  downloading application xml at path %s", path.c_str());
    return;
  }
  log(pando::kLogInfo, "Successfully downloaded application xml at path %s", path.c_str());
  showTarnProgress(2.0f);
  if (!parts_.steps.desktopApp->readApplicationsDocument(path, application_)) {
    log(pando::kLogError, "Failed in reading applicationInfo xml");
    setStateCode(0x1402);
    setError(kStatusCorruptedApplicationXml, false);
    return;
  }
  if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
    analytics->setVersionDownloading(application_.desktopAppVersion);
  }
  parts_.view.updateTarnInstallWeightage(std::to_string(application_.totalAssetSize));
  setStateCode(0x1402);
  syncState();
}

void WorkflowManager::stepLaunch() {
  setScreenId(10);
  parts_.view.showLaunchingProductScreen();
  releaseLocks();
  parts_.steps.launch->releaseInstallLock();
  event("lbs-product-launch");
  if (!pause(settings_.launchPause)) return;
  parts_.steps.launch->launchDesktopApp();
  const bool longWait = GetSapCode(context_.config) == "KVRQ";
  if (!pause(longWait ? settings_.launchWaitLong : settings_.launchWait)) return;
  setStateCode(0x1D00);
  parts_.steps.launch->loadLaunchAgent();
  parts_.steps.launch->relaunchFromTempLocation();
}

void WorkflowManager::stepFinal() {
  context_.quitRequested = true;
  parts_.view.hideMainWindow();
  if (appletWorkflowStarted_) {
    log(pando::kLogInfo, "End LoomIM workflow returned: %d", parts_.applets.FinalizeCore());
  }
  releaseLocks();
  parts_.steps.launch->releaseInstallLock();
  parts_.view.terminateApplication();
}

void WorkflowManager::showTarnProgress(float progress) {
  bool show = false;
  {
    std::lock_guard lock(mutex_);
    block_.tarnProgress = progress;
    // What was shown stays the mark: a lower value neither shows nor lowers it.
    if (progress > lastSentBlock_.tarnProgress) {
      show = true;
      lastSentBlock_.tarnProgress = progress;
    }
  }
  if (show) parts_.view.updateTarnProgress(static_cast<int>(progress), true);
}

void WorkflowManager::reportTarnProgress(int progress) {
  bool show = false;
  {
    std::lock_guard lock(mutex_);
    block_.tarnProgress = static_cast<float>(progress);
    show = block_.tarnProgress > lastSentBlock_.tarnProgress;
    lastSentBlock_.tarnProgress = block_.tarnProgress;
  }
  if (show) parts_.view.updateTarnProgress(progress, true);
}

// ---- UI actions ----

void WorkflowManager::setCurrentUIAction(int action) {
  log(pando::kLogTrace, "WorkflowManager::setCurrentUIAction : Current UI action set to : %d",
      action);
  std::lock_guard lock(mutex_);
  block_.uiAction = action;
}

bool WorkflowManager::processUIAction() {
  int action = 0;
  {
    std::lock_guard lock(mutex_);
    action = block_.uiAction;
  }
  if (action == kBlocked) return false;
  if (action == kNone) return true;
  setCurrentUIAction(kNone);
  switch (action) {
    case kProxyLogin: {
      const ProxyCredentials proxy = context_.proxyCredentials.get();
      // The rerun step's requests go through the profile: it needs the new credentials too.
      parts_.profile.setProxyCredentials(proxy.userName, proxy.password);
      parts_.view.setProxyCredentials(proxy.userName, proxy.password);
      if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
        analytics->setProxyCredentials(proxy.userName, proxy.password);
      }
      parts_.gateway.sendProxyData();
      retryCurrentStep();
      return true;
    }
    case kRetry:
      retryCurrentStep();
      return true;
    case kQuitRequested:
      requestQuit();
      return false;
    case kQuitConfirmed:
      return quit();
    case kQuitDeclined:
      parts_.view.updateCancelButtonState(true);
      if (stateCode() == 0x1A05) return true;
      setUIFlags(3);
      return false;
    case kLocationChosen: {
      const std::string location = installLocation();
      const std::string error = parts_.steps.products->validateInstallLocation(location);
      if (error.empty() || error == "0") {
        parts_.view.updateCancelButtonState(true);
        sendProductUserAction("retry", true);
        return true;
      }
      std::string titleId;
      std::string textId;
      getInstallLocationErrorIds(error, titleId, textId);
      showPathErrorAlert(titleId, textId, location, true, "");
      return false;
    }
    default:
      return true;
  }
}

void WorkflowManager::retryCurrentStep() {
  retried_ = true;
  parts_.view.updateCancelButtonState(true);
  switch (stateCode()) {
    case 0x905:
      parts_.view.showSpinnerScreen();
      parts_.view.showSignInView();
      break;
    case 0x1A05:
      sendProductUserAction("retry", false);
      break;
    case 0x1606: {
      int error = 0;
      {
        std::lock_guard lock(mutex_);
        block_.uiFlags = 5;
        // The alert cleared the block's error; the retry reports the one the user saw.
        error = block_.errorCode != 0 ? block_.errorCode : lastError_;
      }
      if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
        analytics->sendDownloadRetryEvent(parts_.steps.desktopApp->codeToText(error));
      }
      break;
    }
    default:
      break;
  }
}

void WorkflowManager::requestQuit() {
  static const std::set<uint32_t> quitAtOnce = {0x401, 0x501, 0x801, 0x905, 0xA05,  0xB01,
                                                0xC01, 0xD05, 0xE01, 0xF01, 0x1005, 0x1101};
  bool ask = false;
  {
    std::lock_guard lock(mutex_);
    ask = block_.closeOverride == 0 && !quitAtOnce.count(block_.stateCode) && block_.retryMode != 0;
  }
  if (ask) {
    setCurrentUIAction(kBlocked);
    setUIFlags(2);
    parts_.view.showQuitConfirmation();
  } else {
    setCurrentUIAction(kQuitConfirmed);
  }
}

bool WorkflowManager::quit() {
  std::map<std::string, std::string> params;
  fillQuitEventParams(params);
  if (auto analytics = parts_.analytics ? parts_.analytics() : nullptr) {
    analytics->sendServiceEventWithParams("lbs-quit-clicked", params);
  }
  setUIFlags(4);
  parts_.view.showQuittingScreen();
  parts_.view.updateCancelButtonState(false);
  uint32_t code = stateCode();
  if (code == 0x1A05) {
    sendProductUserAction("cancel", false);
    parts_.steps.products->joinProductInstallThread();
  } else if (code == 0x1606) {
    return true;  // the install thread reads the cancel and ends the state itself
  }
  {
    std::lock_guard lock(mutex_);
    if (block_.errorCode == 0) block_.errorCode = lastError_ != 0 ? lastError_ : kStatusCancelled;
    block_.stateCode = 0x1D00;
  }
  return false;
}

void WorkflowManager::fillQuitEventParams(std::map<std::string, std::string>& params) const {
  WorkflowStateBlock block;
  ProgressEstimateBlock estimate;
  {
    std::lock_guard lock(mutex_);
    block = block_;
    estimate = estimate_;
  }
  const char* name = screenName(block.screenId);
  if (!name) return;
  params["screen-while-quit"] = name;
  if (block.screenId == 9) {
    params["minutes-left-min"] = std::to_string(estimate.minutesLeftMin);
    params["minutes-left-max"] = std::to_string(estimate.minutesLeftMax);
    params["progress-while-quit"] = std::to_string(estimate.progress);
  }
}

void WorkflowManager::sendProductUserAction(const std::string& action, bool withLocation) {
  const ProxyCredentials proxy = context_.proxyCredentials.get();
  const std::string location = withLocation ? installLocation() : "";
  AppletUserAction record;
  record.action = action.c_str();
  if (!proxy.userName.empty()) {
    record.proxyUserName = proxy.userName.c_str();
    record.proxyPassword = proxy.password.c_str();
  }
  if (!location.empty()) record.installLocation = location.c_str();
  parts_.applets.HandleUserAction(&record);
}

void WorkflowManager::getInstallLocationErrorIds(const std::string& error, std::string& titleId,
                                                 std::string& textId) {
  static const std::map<std::string, const char*> texts = {
      {"1", "InstallLocationRootPathErr"},          {"2", "InstallLocationMaxPathErr"},
      {"3", "InstallLocationFlashPathErr"},         {"4", "InstallLocationNetworkPathErr"},
      {"5", "InstallLocationCaseSensitivePathErr"}, {"6", "InstallLocationLockedPathErr"}};
  auto found = texts.find(error);
  textId = found == texts.end() ? "InstallLocationGenericErr" : found->second;
  titleId = error == "6" ? "InstallLocationTitleLockedPathErr" : "InstallLocationTitleGenericErr";
}

// ---- errors and alerts ----

void WorkflowManager::setAlertFields(int retryMode) {
  setCurrentUIAction(kBlocked);
  std::lock_guard lock(mutex_);
  block_.errorCode = 0;
  block_.retryMode = static_cast<uint8_t>(retryMode);
}

void WorkflowManager::setError(int error, bool retry) {
  setCurrentUIAction(kBlocked);
  {
    std::lock_guard lock(mutex_);
    block_.errorCode = error;
    block_.retryMode = retry ? 1 : 0;
    if (error != 0) lastError_ = error;
  }
  if (error == 0) return;
  if (error == kStatusProxyAuthenticationRequired && retry) {
    setUIFlags(2);
    log(pando::kLogInfo, "Prompting for proxy credentials");
    parts_.view.showProxyAlert();
    syncState();
    return;
  }
  const std::string param = error == kStatusIncompatibleOs ? context_.requiredOsVersion : "";
  setAlertFields(retry ? 1 : 0);
  parts_.view.showErrorAlert(setErrorTextId(error, retry), retry ? 1 : 0,
                             "P" + std::to_string(error), param, "", "", false);
  syncState();
}

void WorkflowManager::showErrorAlertAndWait(const std::string& errorType, int mode,
                                            const std::string& errorCode,
                                            const std::string& errorParam,
                                            const std::string& errorTitle,
                                            const std::string& moreInfoLink,
                                            bool appendParamsAtEnd) {
  setAlertFields(mode != 0 ? 1 : 0);
  parts_.view.showErrorAlert(errorType, mode, errorCode, errorParam, errorTitle, moreInfoLink,
                             appendParamsAtEnd);
  syncState();
}

void WorkflowManager::showPathErrorAlert(const std::string& titleId, const std::string& textId,
                                         const std::string& location, bool incorrectLocation,
                                         const std::string& errorParam) {
  setAlertFields(1);
  parts_.view.showPathErrorAlert(titleId, textId, location, incorrectLocation, errorParam);
  syncState();
}

void WorkflowManager::handleProductInstallError(const AppsPanelProgress& record) {
  const std::string codeText = "C" + std::to_string(record.errorCode);
  const std::string productName = GetProductName(context_.config);
  if (record.errorCode == 124) {
    if (!context_.proxyCredentials.get().userName.empty()) {
      sendProductUserAction("retry", false);
    } else {
      parts_.view.showProxyAlert();
    }
    return;
  }
  const int resumable = record.isErrorResumable ? 1 : 0;
  struct PathAlert {
    const char* title;
    const char* text;
    bool productParam;
  };
  static const std::map<int, PathAlert> pathAlerts = {
      {133, {"ProductInstallationTitlediskSpaceErr", "ProductInstallationdiskSpaceErr3", false}},
      {140,
       {"ProductInstallationTitleRegistryError", "ProductInstallationaccessPermissionErrNew",
        true}},
      {179, {"ProductInstallationTitleInvalidPath", "ProductInstallationNotFullPathError", false}},
      {181, {"ProductInstallationTitleInvalidPath", "ProductInstallationNotFullPathError", false}}};
  if (auto path = pathAlerts.find(record.errorCode); path != pathAlerts.end()) {
    showPathErrorAlert(path->second.title, path->second.text, installLocation(), false,
                       path->second.productParam ? productName : "");
    return;
  }
  const ProductAlert& alert = productAlertFor(record.errorCode);
  const int mode = alert.mode < 0 ? resumable : alert.mode;
  std::string param;
  std::string link;
  switch (alert.param) {
    case ProductAlert::kProductName:
      param = productName;
      break;
    case ProductAlert::kDriveName:
      param = xmlValue(record.errorParamXML, "//driveName");
      break;
    case ProductAlert::kConflictingProcess:
      param = xmlValue(record.errorParamXML, "//conflictingProcess");
      break;
    case ProductAlert::kMoreInfo:
      link = record.moreInfoLink ? record.moreInfoLink : "";
      break;
    case ProductAlert::kNoParam:
      break;
  }
  // The conflicting-process alert offers "continue" but retries like any other.
  setAlertFields(mode == 2 ? 1 : mode);
  parts_.view.showErrorAlert(alert.errorType, mode, codeText, param, alert.errorTitle, link,
                             alert.param == ProductAlert::kConflictingProcess);
  syncState();
}

// ---- mirroring ----

void WorkflowManager::syncState() {
  // Snapshot and send under one lock: a newer snapshot sent first would leave the peer with the
  // older block, and the copy here would already say it has the newer one.
  std::lock_guard sendLock(stateSendMutex_);
  std::string text;
  {
    std::lock_guard lock(mutex_);
    if (block_.sameExceptProgress(lastSentBlock_)) return;
    lastSentBlock_ = block_;
    // A user's process with administrator rights has nobody to mirror to.
    if (role_ == WorkflowRole::kAdministrator) return;
    text = encodeStateBlock(block_);
  }
  parts_.gateway.sendPacket(IMessageGateway::kWorkflowStatePacket, text);
}

void WorkflowManager::syncProgressEstimate() {
  std::lock_guard sendLock(estimateSendMutex_);  // as in syncState
  std::string text;
  {
    std::lock_guard lock(mutex_);
    if (estimate_ == lastSentEstimate_) return;
    lastSentEstimate_ = estimate_;
    if (role_ == WorkflowRole::kAdministrator) return;
    text = encodeProgressEstimate(estimate_);
  }
  parts_.gateway.sendPacket(IMessageGateway::kProgressEstimatePacket, text);
}

bool WorkflowManager::onProgressStatePacket(const std::string& text) {
  const auto block = decodeStateBlock(text);
  if (!block) {
    log(pando::kLogWarn, "Ignoring a damaged workflow state packet (%zu characters)", text.size());
    return true;
  }
  {
    std::lock_guard lock(mutex_);
    block_ = *block;
    lastSentBlock_ = *block;
  }
  wake_.notify_all();
  return true;
}

bool WorkflowManager::onProductProgressStatePacket(const std::string& text) {
  const auto estimate = decodeProgressEstimate(text);
  if (!estimate) {
    log(pando::kLogWarn, "Ignoring a damaged progress estimate packet (%zu characters)",
        text.size());
    return true;
  }
  std::lock_guard lock(mutex_);
  estimate_ = *estimate;
  lastSentEstimate_ = *estimate;
  return true;
}

// ---- fields ----

WorkflowStateBlock WorkflowManager::stateBlock() const {
  std::lock_guard lock(mutex_);
  return block_;
}
ProgressEstimateBlock WorkflowManager::progressEstimate() const {
  std::lock_guard lock(mutex_);
  return estimate_;
}
uint32_t WorkflowManager::stateCode() const {
  std::lock_guard lock(mutex_);
  return block_.stateCode;
}
void WorkflowManager::setStateCode(uint32_t code) {
  std::lock_guard lock(mutex_);
  block_.stateCode = code;
}
void WorkflowManager::setScreenId(int screenId) {
  std::lock_guard lock(mutex_);
  block_.screenId = screenId;
}
void WorkflowManager::setUIFlags(int flags) {
  std::lock_guard lock(mutex_);
  block_.uiFlags = flags;
}
void WorkflowManager::setErrorCode(int error) {
  std::lock_guard lock(mutex_);
  block_.errorCode = error;
  lastError_ = error;
}
void WorkflowManager::setQuitConfirmed(bool confirmed) {
  std::lock_guard lock(mutex_);
  block_.quitConfirmed = confirmed ? 1 : 0;
}
void WorkflowManager::setCloseOverride(bool override) {
  std::lock_guard lock(mutex_);
  block_.closeOverride = override ? 1 : 0;
}
void WorkflowManager::setProgressEstimate(const ProgressEstimateBlock& estimate) {
  std::lock_guard lock(mutex_);
  estimate_ = estimate;
}
void WorkflowManager::setInstallLocation(const std::string& location) {
  std::lock_guard lock(mutex_);
  installLocation_ = location;
}
std::string WorkflowManager::installLocation() const {
  std::lock_guard lock(mutex_);
  return installLocation_;
}
int WorkflowManager::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

// ---- locks and system checks ----

bool WorkflowManager::acquireLocks() {
  // The product keys by "/tmp" itself; a test passes a file of its own.
  const bool defaultKey = settings_.lockKeyPath == pando::ProcessSemaphore::kKeyPath;
  const int folderChoice = defaultKey ? 0 : 2;
  const char* keyName = defaultKey ? "" : settings_.lockKeyPath.c_str();

  bootstrapperLock_ =
      std::make_unique<pando::ProcessSemaphore>(kBootstrapperLockId, settings_.lockKeyPath);
  if (!bootstrapperLock_->acquire()) {
    log(pando::kLogError, "Failed to acquire Bootstrapper Lock");
    setError(kStatusOrvelInstallerRunning, false);
    bootstrapperLock_.reset();
    return false;
  }
  log(pando::kLogInfo, "Bootstrapper Lock acquired");
  lbsLock_ = std::make_unique<pando::SharedSemaphore>(kLbsLockId, 1, folderChoice, keyName, 0);
  if (!lbsLock_->tryAcquire()) {
    log(pando::kLogError, "Failed to acquire LBS Lock");
    setError(kStatusOrvelInstallerRunning, false);
    releaseLocks();
    return false;
  }
  log(pando::kLogInfo, "LBS Lock acquired");
  const bool marlHeld =
      pando::ProcessSemaphore::isProcessSemaphoreHeld(kMarlLockId, settings_.lockKeyPath);
  const bool quarryHeld = pando::SharedSemaphore::isSharedSemaphoreHeld(
      kQuarryLockId, kQuarryInitialCount, folderChoice, keyName, 0);
  if (marlHeld) {
    log(pando::kLogError, "Marl workflow is going on");
    setError(kStatusOrvelInstallerRunning, false);
    releaseLocks();
    return false;
  }
  if (quarryHeld) {
    log(pando::kLogError, "Quarry workflow is going on");
    setError(kStatusQuarryRunning, true);
    releaseLocks();
    return false;
  }
  return true;
}

void WorkflowManager::releaseLocks() {
  if (bootstrapperLock_ && !bootstrapperLock_->release()) {
    log(pando::kLogError, "Failed to release bootstrapper lock");
  }
  bootstrapperLock_.reset();
  if (lbsLock_ && !lbsLock_->release()) log(pando::kLogError, "Failed to release lbs lock");
  lbsLock_.reset();
}

bool WorkflowManager::checkSystem() {
  HardwareUtils::OSVersion current;
  HardwareUtils::GetCurrentOSVersion(current);
  log(pando::kLogDebug, "Current OS version is: major:%d, minor:%d, sp or build:%d",
      current.majorVersion, current.minorVersion, current.patchVersion);
  std::string required = GetMinimumOsVersion(context_.config);
  if (required.empty()) required = "10.9.0";
  HardwareUtils::OSVersion minimum;
  HardwareUtils::ParseOSVersionString(required, minimum);
  context_.requiredOsVersion = required;
  const auto tuple = [](const HardwareUtils::OSVersion& v) {
    return std::tie(v.majorVersion, v.minorVersion, v.patchVersion);
  };
  if (tuple(current) < tuple(minimum)) {
    setError(kStatusIncompatibleOs, false);
    return false;
  }
  bool rootSensitive = false;
  bool userSensitive = false;
  std::string userFolder;
  const bool rootKnown = platform::isVolumeCaseSensitive(settings_.caseCheckRoot, rootSensitive);
  const bool userKnown = FileUtils::getSpecialFolderPath(kUserSettingsFolder, userFolder) &&
                         platform::isVolumeCaseSensitive(userFolder, userSensitive);
  if (rootKnown && userKnown && (rootSensitive || userSensitive)) {
    log(pando::kLogError, rootSensitive ? "Drive is Case sensitive. Cannot Install."
                                        : "User folder is Case sensitive. Cannot Install.");
    setError(kStatusCaseSensitiveVolume, false);
    return false;
  }
  return true;
}
