#include "core/install/desktop/DesktopAppInstall.h"

#include <cmath>
#include <optional>

#include "core/config/ConfigValues.h"
#include "core/install/ApplicationsDocument.h"
#include "core/install/desktop/AssetDownloader.h"
#include "core/workflow/InstallerStatus.h"
#include "foundation/logging/ComponentLog.h"

namespace {

constexpr pando::ComponentLog kLog{"DesktopAppInstall"};

// The library's callback carries no context: the one installation of the process.
std::atomic<DesktopAppInstall*> current{nullptr};
std::atomic<IInstallWorkflow*> currentWorkflow{nullptr};

}  // namespace

DesktopAppInstall::DesktopAppInstall(DesktopAppInputs inputs) : inputs_(std::move(inputs)) {}

DesktopAppInstall::~DesktopAppInstall() {
  joinInstallThread();
}

std::shared_ptr<IAnalytics> DesktopAppInstall::analytics() const {
  return inputs_.analytics ? inputs_.analytics() : nullptr;
}

AssetDownloaderInputs DesktopAppInstall::downloaderInputs(IInstallWorkflow& workflow) const {
  AssetDownloaderInputs downloads(inputs_.config, inputs_.proxyCredentials,
                                  inputs_.folders.tempFolder);
  downloads.logger = inputs_.logger;
  downloads.poll = inputs_.poll;
  downloads.manager = inputs_.manager;
  // A quit asked or confirmed, or the process quitting, ends the download.
  std::atomic<bool>& quitRequested = inputs_.quitRequested;
  downloads.quitting = [&quitRequested, &workflow] {
    const UIAction action = workflow.uiAction();
    return quitRequested.load() || action == UIAction::kQuitRequested ||
           action == UIAction::kQuitConfirmed;
  };
  return downloads;
}

bool DesktopAppInstall::downloadApplicationsDocument(IInstallWorkflow& workflow,
                                                     std::string& path) {
  return AssetDownloader(workflow, downloaderInputs(workflow)).downloadApplicationXml(path);
}

bool DesktopAppInstall::readApplicationsDocument(const std::string& path, TarnApplication& out) {
  const std::shared_ptr<IAnalytics> sink = analytics();
  return parseApplicationsXml(path, {GetManifestUrl(inputs_.config), sink.get()}, out);
}

bool DesktopAppInstall::acquireInstallerLibrary(IInstallWorkflow& workflow,
                                                const TarnApplication& application) {
  AssetDownloader downloader(workflow, downloaderInputs(workflow));
  // A retried step starts from a fresh work folder and a fresh load.
  library_ = std::make_unique<PimLibrary>(inputs_.folders);
  application_ = application;
  return library_->prepare(workflow, application, downloader);
}

bool DesktopAppInstall::startInstallWorkflow(IInstallWorkflow& workflow) {
  std::lock_guard lock(threadMutex_);
  if (running_.load()) {
    kLog(pando::kLogWarn, "StartInstallWorkflow: thread (%lu) is already running",
         static_cast<unsigned long>(thread_.getThread()));
    workflow.setError(kStatusError, false);
    return true;
  }
  thread_.stopThread();  // an earlier run's ended thread
  workflow_ = &workflow;
  running_ = true;
  pthread_t id = 0;
  if (!library_ || !thread_.startThread(&DesktopAppInstall::threadEntry, this, &id) || id == 0) {
    running_ = false;
    kLog(pando::kLogWarn, "failed to create a new install workflow thread.");
    workflow.setError(kStatusError, false);
    return false;
  }
  return true;
}

void DesktopAppInstall::joinInstallThread() {
  std::lock_guard lock(threadMutex_);
  thread_.stopThread();
}

void* DesktopAppInstall::threadEntry(void* self) {
  auto* install = static_cast<DesktopAppInstall*>(self);
  install->installThreadProc(*install->workflow_);
  install->running_ = false;
  return nullptr;
}

std::string DesktopAppInstall::codeToText(int code) {
  return installerStatusName(code);
}

void DesktopAppInstall::installThreadProc(IInstallWorkflow& workflow) {
  kLog(pando::kLogInfo, "Installing latest Orvel Skyloom");
  workflow.setUIFlags(UIFlag::kNone);

  // The library reads these texts for as long as its call runs: copies of our own.
  const std::string applicationXml = application_.desktopAppXml;
  const ProxyCredentials proxy = inputs_.proxyCredentials.get();
  PimWorkflowArgs args{};
  args.callback = &DesktopAppInstall::progressCallback;
  args.applicationXml = applicationXml.c_str();
  args.proxyUserName = proxy.userName.c_str();
  args.proxyPassword = proxy.password.c_str();

  current = this;
  currentWorkflow = &workflow;
  const int result = library_ ? library_->startWorkflow(args) : kStatusError;
  current = nullptr;
  currentWorkflow = nullptr;
  {
    std::lock_guard lock(proxyMutex_);
    proxyTexts_.clear();
  }

  // The library cancelled because this process ends (its own SIGTERM, or its teardown), not
  // because the user quit: the user's process must find this copy gone and say so, so nothing
  // that would read as the user's cancel goes out.
  if (result == kStatusCancelled && processEnding(workflow)) {
    kLog(pando::kLogInfo, "Installation of Tarn stopped: this process ends");
    return;
  }
  workflow.setErrorCode(result);
  const std::string text = codeToText(result);
  const std::shared_ptr<IAnalytics> events = analytics();
  if (result == kStatusCancelled || workflow.stateBlock().quitConfirmed) {
    kLog(pando::kLogError, "Installation of Tarn is cancelled");
    workflow.setStateCode(WorkflowState::kFinal);
  } else if (result != kStatusSuccess && result != kStatusSuccessNoEnd) {
    const std::string status = library_ ? library_->installStatus() : "";
    if (events && !status.empty()) events->setInstallResult(status);
    if (events) events->sendInstallFatalErrorEvent(text);
    // The error goes out before the final state: the user's process sees the alert first and
    // never waits on a state that already ended the link.
    workflow.setError(result, false);
    workflow.setStateCode(WorkflowState::kFailedFinal);
  } else {
    workflow.setErrorCode(kStatusSuccess);
    if (result == kStatusSuccess) {
      if (events) events->sendInstallEndEvent();
      kLog(pando::kLogInfo, "Tarn installation is completed successfully");
    }
    workflow.setStateCode(WorkflowState::kDesktopAppInstalled);
  }
  workflow.syncState();
}

bool DesktopAppInstall::processEnding(const IInstallWorkflow& workflow) const {
  return inputs_.quitRequested.load() || workflow.stopping();
}

int DesktopAppInstall::progressCallback(PimProgress* record) {
  DesktopAppInstall* install = current.load();
  IInstallWorkflow* workflow = currentWorkflow.load();
  if (!record || !install || !workflow) return PIM_ANSWER_NULL_RECORD;
  return install->onProgress(*workflow, record);
}

void DesktopAppInstall::sendDownloadFatalError(const PimProgress& record) {
  if (const std::shared_ptr<IAnalytics> events = analytics()) {
    events->sendDownloadFatalErrorEvent(codeToText(record.status), codeToText(record.subStatus),
                                        record.status == kStatusCancelled,
                                        record.errorDetail ? record.errorDetail : "");
  }
}

int DesktopAppInstall::onProgress(IInstallWorkflow& workflow, PimProgress* record) {
  if (!record) return PIM_ANSWER_NULL_RECORD;
  const bool pausable = record->type != PIM_NOT_PAUSABLE;
  // Nobody is left to answer a pause once the process ends, and the thread that joins this one
  // would wait for ever.
  if (pausable && processEnding(workflow)) return PIM_ANSWER_CANCEL;
  if (const std::optional<int> answer = answerUserCommand(workflow, *record, pausable)) {
    return *answer;
  }
  if (reportDownloadEvent(workflow, *record)) return PIM_ANSWER_GO_ON;
  if (record->status != kStatusSuccess) return raiseRecordError(workflow, *record);

  workflow.setErrorCode(kStatusSuccess);
  const float shown = record->progress * 95.0f / 100.0f + 5.0f;
  workflow.syncState();
  workflow.reportTarnProgress(static_cast<int>(std::trunc(shown)));
  return PIM_ANSWER_GO_ON;
}

std::optional<int> DesktopAppInstall::answerUserCommand(IInstallWorkflow& workflow,
                                                        PimProgress& record, bool pausable) {
  switch (workflow.uiFlags()) {
    case UIFlag::kPause:
      if (pausable) return PIM_ANSWER_PAUSE;
      break;
    case UIFlag::kResume:
      workflow.setUIFlags(UIFlag::kNone);
      workflow.syncState();
      return PIM_ANSWER_RESUME;
    case UIFlag::kCancel:
      if (!pausable) break;
      workflow.setUIFlags(UIFlag::kNone);
      workflow.syncState();
      return PIM_ANSWER_CANCEL;
    case UIFlag::kRetry:
      workflow.setUIFlags(UIFlag::kNone);
      if (record.status == kStatusProxyAuthenticationRequired) handProxyTo(record);
      workflow.syncState();
      return PIM_ANSWER_RETRY;
    default:
      break;
  }
  return std::nullopt;
}

void DesktopAppInstall::handProxyTo(PimProgress& record) {
  const ProxyCredentials proxy = inputs_.proxyCredentials.get();
  std::lock_guard lock(proxyMutex_);
  proxyTexts_.push_back(proxy.userName);
  record.proxyUserName = proxyTexts_.back().c_str();
  proxyTexts_.push_back(proxy.password);
  record.proxyPassword = proxyTexts_.back().c_str();
}

bool DesktopAppInstall::reportDownloadEvent(IInstallWorkflow& workflow, const PimProgress& record) {
  const std::shared_ptr<IAnalytics> events = analytics();
  switch (record.type) {
    case PIM_DOWNLOAD_STARTED:
      workflow.setUIFlags(UIFlag::kDownloading);
      workflow.syncState();
      if (events) events->sendDownloadStartEvent();
      return true;
    case PIM_DOWNLOAD_FINISHED:
      workflow.setUIFlags(UIFlag::kDownloadOver);
      workflow.syncState();
      if (events) {
        events->sendDownloadEndEvent(record.downloadPercent, record.downloadRate,
                                     record.buttonClickTime);
      }
      return true;
    case PIM_DOWNLOAD_FAILED:
      workflow.setUIFlags(UIFlag::kDownloadOver);
      workflow.syncState();
      sendDownloadFatalError(record);
      return true;
    case PIM_INSTALL_STARTED:
      if (events) events->sendInstallStartEvent();
      break;
    default:
      break;
  }
  return false;
}

int DesktopAppInstall::raiseRecordError(IInstallWorkflow& workflow, const PimProgress& record) {
  const bool retryable = record.retryable != 0;
  if (retryable) workflow.setUIFlags(UIFlag::kPause);
  workflow.setError(record.status, retryable);
  if (retryable && record.type == PIM_PROGRESS && record.status != kStatusNetworkUnavailable) {
    sendDownloadFatalError(record);
  }
  return retryable ? PIM_ANSWER_PAUSE : PIM_ANSWER_CANCEL;
}
