#include "core/workflow/WorkflowManager.h"

#include "core/config/ConfigValues.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowAlerts.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"

namespace {

constexpr pando::ComponentLog kLog{"WorkflowManager"};

// Bit 0 of a state: runs only in the user's process; bit 1: only with administrator rights;
// bit 2: waits for the user or a thread.
constexpr uint32_t kUserOnlyBit = 0x1;
constexpr uint32_t kWaitBit = 0x4;

bool hasBit(WorkflowState state, uint32_t bit) {
  return (code(state) & bit) != 0;
}

// The alert's retry mode for the block: 0 without a button, 1 with one.
int retryModeOf(bool retry) {
  return retry ? 1 : 0;
}

}  // namespace

WorkflowManager::WorkflowManager(WorkflowContext context, WorkflowCollaborators parts,
                                 WorkflowRole role, WorkflowSettings settings)
    : context_(std::move(context)),
      parts_(std::move(parts)),
      role_(role),
      settings_(std::move(settings)),
      locks_(settings_.lockKeyPath),
      steps_({*this, *this, context_, parts_, role_, settings_, locks_}),
      actions_(*this, *this, context_, parts_) {
  // The copies start zeroed, so the first syncState sends the block.
  lastSentBlock_.retryMode = 0;
  // A helper's launch or handshake can wait an hour, and the compatibility script may never
  // return; a quit or a stop must not wait with them. A quit the page asked for counts too, as
  // the step is busy and cannot read it: the step leaves it to the next tick.
  if (parts_.installHelper) {
    parts_.installHelper->setQuitCheck([this] { return quitPending(); });
  }
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
    kLog(pando::kLogWarn, "StartWorkflow: thread (%lu) is already running",
         static_cast<unsigned long>(workflowThread_.getThread()));
    return true;
  }
  {
    std::lock_guard lock(mutex_);
    // A state the other process sent before this start is kept, not lost to the first state.
    if (block_.stateCode == code(WorkflowState::kNone)) {
      block_.stateCode = code(context_.isTestWorkflow ? WorkflowState::kFirstScreen
                                                      : WorkflowState::kAcquireLocks);
    }
    stopping_ = false;
  }
  if (!workflowThread_.startThread(&WorkflowManager::threadEntry, this)) {
    kLog(pando::kLogWarn, "failed to create a new worker thread.");
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
  // Only now: a step running during the stop (starting either install) may still start these.
  parts_.steps.desktopApp->joinInstallThread();
  parts_.steps.products->joinProductInstallThread();
}

void* WorkflowManager::threadEntry(void* self) {
  static_cast<WorkflowManager*>(self)->workflowThreadProc();
  return nullptr;
}

void WorkflowManager::workflowThreadProc() {
  while (!context_.quitRequested && waitUnless(settings_.tick, &WorkflowManager::endingLocked)) {
    runStep();
  }
}

bool WorkflowManager::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

bool WorkflowManager::quitPending() const {
  std::lock_guard lock(mutex_);
  return quitPendingLocked();
}

bool WorkflowManager::endingLocked() const {
  return stopping_ || context_.quitRequested;
}

bool WorkflowManager::quitPendingLocked() const {
  return endingLocked() || block_.uiAction == code(UIAction::kQuitRequested) ||
         block_.uiAction == code(UIAction::kQuitConfirmed);
}

bool WorkflowManager::pause(std::chrono::milliseconds duration) {
  return waitUnless(duration, &WorkflowManager::quitPendingLocked);
}

// Wakes for every change of the block; waits in slices of a tick all the same, as the process's
// quit flag is set from outside without a signal.
bool WorkflowManager::waitUnless(std::chrono::milliseconds duration,
                                 bool (WorkflowManager::*ends)() const) {
  const auto until = std::chrono::steady_clock::now() + duration;
  std::unique_lock lock(mutex_);
  while (!(this->*ends)()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    wake_.wait_for(lock,
                   std::min<std::chrono::steady_clock::duration>(until - now, settings_.tick));
  }
  return false;
}

// ---- the step ----

void WorkflowManager::runStep() {
  const WorkflowState state = stateCode();
  if (hasBit(state, kUserOnlyBit) && role_ == WorkflowRole::kSilent) return;
  if (hasBit(state, kAdministratorStateBit) && role_ == WorkflowRole::kUser) {
    waitForAdministrator();
    return;
  }
  if (!actions_.process()) {
    syncState();
    return;
  }
  if (hasBit(state, kWaitBit)) return;
  steps_.run(state);
  // The retried step went on without a new alert: its error is over, and a later quit is the
  // user's own (kStatusCancelled), not that error.
  if (actions_.retried() && stateCode() != state) {
    std::lock_guard lock(mutex_);
    if (block_.uiAction != code(UIAction::kBlocked)) lastError_ = 0;
  }
}

void WorkflowManager::waitForAdministrator() {
  // The elevated copy runs this state. Without it the user must be able to see why and quit.
  if (!otherProcessGone()) return;
  if (!deadLinkRaised_) {
    deadLinkRaised_ = true;
    kLog(pando::kLogError, "Error Case: In parent process and otherProcessNotActive");
    setError(kStatusError, false);
  }
  if (!actions_.process()) syncState();
}

// ---- UI actions ----

void WorkflowManager::setCurrentUIAction(UIAction action) {
  kLog(pando::kLogTrace, "WorkflowManager::setCurrentUIAction : Current UI action set to : %d",
       code(action));
  {
    std::lock_guard lock(mutex_);
    block_.uiAction = code(action);
  }
  wake_.notify_all();  // a quit ends a step's pause
}

int WorkflowManager::retryDesktopAppInstall() {
  std::lock_guard lock(mutex_);
  block_.uiFlags = code(UIFlag::kRetry);
  // The alert cleared the block's error; the retry reports the one the user saw.
  return block_.errorCode != 0 ? block_.errorCode : lastError_;
}

void WorkflowManager::endAfterQuit() {
  std::lock_guard lock(mutex_);
  if (block_.errorCode == 0) block_.errorCode = lastError_ != 0 ? lastError_ : kStatusCancelled;
  block_.stateCode = code(WorkflowState::kFinal);
}

bool WorkflowManager::otherProcessGone() const {
  return role_ == WorkflowRole::kUser &&
         parts_.gateway.linkState() == IMessageGateway::LinkState::kDown;
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

// ---- errors and alerts ----

void WorkflowManager::getInstallLocationErrorIds(const std::string& error, std::string& titleId,
                                                 std::string& textId) {
  installLocationErrorIds(error, titleId, textId);
}

void WorkflowManager::blockForAlert(int retryMode) {
  setCurrentUIAction(UIAction::kBlocked);
  std::lock_guard lock(mutex_);
  block_.errorCode = 0;
  block_.retryMode = static_cast<uint8_t>(retryMode);
}

void WorkflowManager::setError(int error, bool retry) {
  setCurrentUIAction(UIAction::kBlocked);
  {
    std::lock_guard lock(mutex_);
    block_.errorCode = error;
    block_.retryMode = static_cast<uint8_t>(retryModeOf(retry));
    if (error != kStatusSuccess) lastError_ = error;
  }
  if (error == kStatusSuccess) return;
  if (error == kStatusProxyAuthenticationRequired && retry) {
    setUIFlags(UIFlag::kPause);
    kLog(pando::kLogInfo, "Prompting for proxy credentials");
    parts_.view.showProxyAlert();
    syncState();
    return;
  }
  const std::string param = error == kStatusIncompatibleOs ? context_.requiredOsVersion : "";
  blockForAlert(retryModeOf(retry));
  parts_.view.showErrorAlert(errorTextId(error, retry), retryModeOf(retry),
                             "P" + std::to_string(error), param, "", "", false);
  syncState();
}

void WorkflowManager::showErrorAlertAndWait(const std::string& errorType, int mode,
                                            const std::string& errorCode,
                                            const std::string& errorParam,
                                            const std::string& errorTitle,
                                            const std::string& moreInfoLink,
                                            bool appendParamsAtEnd) {
  blockForAlert(retryModeOf(mode != 0));
  parts_.view.showErrorAlert(errorType, mode, errorCode, errorParam, errorTitle, moreInfoLink,
                             appendParamsAtEnd);
  syncState();
}

void WorkflowManager::showPathErrorAlert(const std::string& titleId, const std::string& textId,
                                         const std::string& location, bool incorrectLocation,
                                         const std::string& errorParam) {
  blockForAlert(retryModeOf(true));
  parts_.view.showPathErrorAlert(titleId, textId, location, incorrectLocation, errorParam);
  syncState();
}

void WorkflowManager::handleProductInstallError(const AppsPanelProgress& record) {
  using Kind = ProductErrorAlert::Kind;
  const bool proxyStored = !context_.proxyCredentials.get().userName.empty();
  const ProductErrorAlert alert =
      productErrorAlert(record, GetProductName(context_.config), proxyStored);
  switch (alert.kind) {
    case Kind::kProxyRetry:
      sendProductUserAction("retry", false);
      return;
    case Kind::kProxyPrompt:
      parts_.view.showProxyAlert();
      return;
    case Kind::kPathAlert:
      showPathErrorAlert(alert.title, alert.text, installLocation(), false, alert.param);
      return;
    case Kind::kErrorAlert:
      break;
  }
  blockForAlert(alert.retryMode);
  parts_.view.showErrorAlert(alert.text, alert.mode, alert.code, alert.param, alert.title,
                             alert.moreInfoLink, alert.appendParamsAtEnd);
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
    kLog(pando::kLogWarn, "Ignoring a damaged workflow state packet (%zu characters)", text.size());
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
    kLog(pando::kLogWarn, "Ignoring a damaged progress estimate packet (%zu characters)",
         text.size());
    return true;
  }
  std::lock_guard lock(mutex_);
  estimate_ = *estimate;
  lastSentEstimate_ = *estimate;
  return true;
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

// ---- fields ----

WorkflowStateBlock WorkflowManager::stateBlock() const {
  std::lock_guard lock(mutex_);
  return block_;
}
ProgressEstimateBlock WorkflowManager::progressEstimate() const {
  std::lock_guard lock(mutex_);
  return estimate_;
}
WorkflowState WorkflowManager::stateCode() const {
  std::lock_guard lock(mutex_);
  return static_cast<WorkflowState>(block_.stateCode);
}
void WorkflowManager::setStateCode(WorkflowState state) {
  std::lock_guard lock(mutex_);
  block_.stateCode = code(state);
}
UIAction WorkflowManager::uiAction() const {
  std::lock_guard lock(mutex_);
  return static_cast<UIAction>(block_.uiAction);
}
void WorkflowManager::setScreenId(ScreenId screen) {
  std::lock_guard lock(mutex_);
  block_.screenId = code(screen);
}
UIFlag WorkflowManager::uiFlags() const {
  std::lock_guard lock(mutex_);
  return static_cast<UIFlag>(block_.uiFlags);
}
void WorkflowManager::setUIFlags(UIFlag flags) {
  std::lock_guard lock(mutex_);
  block_.uiFlags = code(flags);
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

void WorkflowManager::releaseLocks() {
  locks_.release();
}
