#include "core/install/ProductInstallation.h"

#include <cmath>
#include <functional>
#include <system_error>

#include "core/config/ConfigXml.h"
#include "core/workflow/InstallerStatus.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"

namespace {

constexpr pando::ComponentLog kLog{"ProductInstallation"};

const char* text(const char* value) {
  return value ? value : "";
}

// The callback carries no context of its own: the installation that started the applet
// workflow receives its reports. The mutex is held over a report, so one that is detaching
// waits for a report in progress to finish.
std::mutex receiverMutex;
ProductInstallation* receiver = nullptr;  // guarded by receiverMutex

}  // namespace

ProductInstallation::ProductInstallation(ProductInstallInputs inputs)
    : inputs_(std::move(inputs)) {}

ProductInstallation::~ProductInstallation() {
  joinProductInstallThread();
}

bool ProductInstallation::startProductInstallWorkflow(IInstallWorkflow& workflow) {
  std::lock_guard lock(threadMutex_);
  if (running_) {
    kLog(pando::kLogWarn, "StartProductInstallWorkflow: thread (%d) is already running",
         static_cast<int>(std::hash<std::thread::id>{}(thread_.get_id())));
    return true;
  }
  if (thread_.joinable()) thread_.join();
  workflow_ = &workflow;
  running_ = true;
  try {
    thread_ = std::thread(&ProductInstallation::productInstallThreadProc, this);
  } catch (const std::system_error&) {
    running_ = false;
    kLog(pando::kLogWarn, "failed to create a new product install workflow thread.");
    return false;
  }
  return true;
}

void ProductInstallation::joinProductInstallThread() {
  {
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }
  detach();
}

std::string ProductInstallation::validateInstallLocation(const std::string& location) {
  std::string errorNumber;
  if (::validateInstallLocation(location, errorNumber, inputs_.locationProbe)) return "";
  return errorNumber;
}

void ProductInstallation::detach() {
  std::lock_guard lock(receiverMutex);
  if (receiver == this) receiver = nullptr;
}

void ProductInstallation::productInstallThreadProc() {
  kLog(pando::kLogInfo, "Installing product");
  // The record's texts live on this thread for the call; the applet host copies what it keeps.
  const std::string configXml = ConfigMapToXml(inputs_.config);
  const std::string profile = inputs_.profile.firstText();
  const std::string temp = inputs_.tempLocation ? inputs_.tempLocation() : "";
  const ProxyCredentials proxy = inputs_.proxy.get();
  const std::string pipe = inputs_.installHelperPipeName ? inputs_.installHelperPipeName() : "";
  ProductInstallArgs args;
  args.progressCallback = &ProductInstallation::updateProductProgressCallbackProc;
  args.configXml = configXml.c_str();
  args.userProfile = profile.c_str();
  args.tempLocation = temp.c_str();
  args.installHelperPipeName = pipe.c_str();
  if (!proxy.userName.empty()) {
    args.proxyUserName = proxy.userName.c_str();
    if (!proxy.password.empty()) args.proxyPassword = proxy.password.c_str();
  }
  args.reserved = 0;
  args.locale = inputs_.locale.c_str();

  workflow_->releaseLocks();
  if (inputs_.installLock) inputs_.installLock->acquire();

  lastProgress_ = 0;
  {
    std::lock_guard lock(receiverMutex);
    receiver = this;
  }
  const int result = inputs_.applets.StartWorkflow(&args);
  kLog(pando::kLogInfo, "Start LoomIM workflow returned: %d", result);
  if (result != kStatusSuccess) {
    detach();
    workflow_->setError(kStatusError, false);
  }
  running_ = false;
}

int ProductInstallation::updateProductProgressCallbackProc(AppsPanelProgress* progress) {
  if (!progress) return 0;
  std::lock_guard lock(receiverMutex);
  if (receiver) receiver->onProgress(*progress);
  return 0;
}

void ProductInstallation::onProgress(const AppsPanelProgress& record) {
  kLog(pando::kLogTrace,
       "WorkflowManager::updateProductProgressCallbackProc : Received progress : type : %d, error "
       "code : %d, progress : %f",
       record.type, record.errorCode, static_cast<double>(record.progress));
  IInstallWorkflow& workflow = *workflow_;
  if (workflow.stateCode() != WorkflowState::kProductInstall) {
    kLog(pando::kLogInfo,
         "WorkflowManager::updateProductProgressCallbackProc : Ignoring Apps progress message as "
         "we are not in Product Installing State!");
    return;
  }
  switch (record.type) {
    case kAppsPanelDone:
      workflow.setStateCode(WorkflowState::kLaunch);
      return;
    case kAppsPanelError:
      if (record.errorCode == kStatusDownloadInvalidFile) {  // the applets were cancelled
        workflow.sendProductUserAction("cancel", false);
        workflow.setStateCode(WorkflowState::kLaunch);
        return;
      }
      kLog(pando::kLogWarn,
           "WorkflowManager::updateProductProgressCallbackProc : Received ERROR : type : %d, error "
           "code : %d, suberror code : %s, progress : %f, errorParamXML : %s, isErrorResumable : "
           "%s, moreInfoLink : %s",
           record.type, record.errorCode, text(record.suberrorCode),
           static_cast<double>(record.progress), text(record.errorParamXML),
           record.isErrorResumable ? "true" : "false", text(record.moreInfoLink));
      lastProgress_ = 0;
      workflow.handleProductInstallError(record);
      return;
    case kAppsPanelParameters:
      return;
    default:
      break;
  }
  const float p = record.progress;
  const float last = lastProgress_;
  if (p < last) {
    kLog(pando::kLogDebug,
         "Got incorrect progress value from apps panel. Ignoring. Current progress : %f, received "
         "progress : %f",
         static_cast<double>(last), static_cast<double>(p));
    return;
  }
  lastProgress_ = p;
  const float shown = p * 98.0f / 100.0f + 2.0f;
  if (std::trunc(shown) <= 99.0f) inputs_.view.updateProductProgress(static_cast<int>(shown));
}
