#include "applets/LoomIMMessageManager.h"

#include "core/config/ConfigXml.h"
#include "core/launch/DesktopApp.h"
#include "foundation/logging/LogCallback.h"

namespace {

constexpr char kComponent[] = "LoomIMMessageManager";

bool hasText(const char* text) {
  return text && *text;
}

}  // namespace

LoomIMMessageManager::LoomIMMessageManager(applets::AppletHostSettings settings)
    : settings_(std::move(settings)) {}

LoomIMMessageManager::~LoomIMMessageManager() {
  FinalizeCore();
  std::lock_guard lock(mutex_);
  if (library_) gde::endDownloadLibrary(&library_);
}

int LoomIMMessageManager::StartWorkflow(const ProductInstallArgs* args) {
  if (!args || !args->progressCallback || !hasText(args->configXml) ||
      !hasText(args->tempLocation)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "StartWorkflow: the start record is incomplete");
    return 1;
  }
  std::lock_guard lock(mutex_);
  if (running_.load()) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "StartWorkflow: a workflow is already running");
    return 1;
  }
  if (thread_.joinable()) thread_.join();
  if (!ConfigXmlToMap(config_, args->configXml)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "StartWorkflow: the configuration does not load");
    return 1;
  }
  if (!library_ && gde::initDownloadLibrary(&library_) != 0) return 1;
  applets::ProxyCredentials proxy;
  if (hasText(args->proxyUserName)) {
    proxy.userName = args->proxyUserName;
    proxy.password = args->proxyPassword ? args->proxyPassword : "";
  }
  control_.reset(std::move(proxy));
  run_ = std::make_unique<applets::ProductInstallRun>(args->progressCallback, args->tempLocation,
                                                      config_, control_, library_, settings_);
  running_.store(true);
  thread_ = std::thread([this] {
    run_->run();
    running_.store(false);
  });
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "Product installation started");
  return 0;
}

void LoomIMMessageManager::HandleUserAction(const AppletUserAction* action) {
  if (!action || !action->action) return;
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "", "User action: %s",
              action->action);
  control_.userAction(action->action, action->proxyUserName, action->proxyPassword);
}

void LoomIMMessageManager::GetProductInfo(AppletProductInfo& info) {
  info.launchPath = desktopAppExecutablePath();
}

int LoomIMMessageManager::FinalizeCore() {
  control_.requestStop();
  std::lock_guard lock(mutex_);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "", "Applet host finalized");
  return 0;
}
