#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/install/DesktopAppLaunch.h"
#include "core/install/ProductInstallation.h"
#include "tests/core/workflow/support/WorkflowRig.h"

namespace wendtest {

// An applet host that answers StartWorkflow as told, keeps copies of the start record's texts
// and reports what the test gives it from a thread of its own, as the real host does. With
// `completes`, a started workflow reports 50 % and completion by itself. Any thread.
class ReportingApplets final : public IAppletMessageManager {
 public:
  ~ReportingApplets() override { FinalizeCore(); }

  int StartWorkflow(const ProductInstallArgs* args) override {
    const auto copy = [](const char* text) { return std::string(text ? text : "(null)"); };
    {
      std::lock_guard lock(mutex_);
      callback_ = args->progressCallback;
      started_.push_back({copy(args->configXml), copy(args->userProfile), copy(args->tempLocation),
                          copy(args->installHelperPipeName), copy(args->proxyUserName),
                          copy(args->proxyPassword), copy(args->locale)});
      if (startResult != 0 || !completes) return startResult;
      worker_ = std::thread([this] {
        AppsPanelProgress half;
        half.progress = 50;
        call(half);
        AppsPanelProgress done;
        done.type = kAppsPanelDone;
        call(done);
      });
    }
    return 0;
  }
  void HandleUserAction(const AppletUserAction* action) override {
    std::lock_guard lock(mutex_);
    actions_.push_back(action->action ? action->action : "");
  }
  void GetProductInfo(AppletProductInfo& info) override { info.launchPath = launchPath; }
  int FinalizeCore() override {
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      worker.swap(worker_);
    }
    if (worker.joinable()) worker.join();
    return 0;
  }

  // Reports `record` through the start record's callback on another thread; returns after it.
  void report(AppsPanelProgress record) {
    std::thread([this, record]() mutable { call(record); }).join();
  }
  static AppsPanelProgress progress(float percent) {
    AppsPanelProgress record;
    record.progress = percent;
    return record;
  }
  static AppsPanelProgress error(int code) {
    AppsPanelProgress record;
    record.type = kAppsPanelError;
    record.errorCode = code;
    return record;
  }

  std::vector<std::vector<std::string>> started() const {
    std::lock_guard lock(mutex_);
    return started_;
  }
  std::vector<std::string> actions() const {
    std::lock_guard lock(mutex_);
    return actions_;
  }

  int startResult = 0;
  bool completes = false;
  std::string launchPath;

 private:
  void call(AppsPanelProgress& record) {
    ProductProgressCallback callback = nullptr;
    {
      std::lock_guard lock(mutex_);
      callback = callback_;
    }
    if (callback) callback(&record);
  }

  mutable std::mutex mutex_;
  ProductProgressCallback callback_ = nullptr;     // guarded by mutex_
  std::vector<std::vector<std::string>> started_;  // guarded by mutex_
  std::vector<std::string> actions_;               // guarded by mutex_
  std::thread worker_;                             // guarded by mutex_
};

// One launch of the desktop application as the launch step asked for it.
struct Launch {
  std::string path;
  std::vector<std::string> arguments;
  bool fromWorkflow;
};

// Records launches. Any thread.
class LaunchRecorder {
 public:
  void operator()(const std::string& path, const std::vector<std::string>& arguments,
                  bool fromWorkflow) {
    std::lock_guard lock(mutex_);
    launches_.push_back({path, arguments, fromWorkflow});
  }
  std::vector<Launch> launches() const {
    std::lock_guard lock(mutex_);
    return launches_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Launch> launches_;  // guarded by mutex_
};

// A workflow of the user's process whose product installation and launch are the real ones, on
// a reporting applet host, recording launches instead of starting the application. Its locks
// are keyed by a private file; nothing of the launch leaves the rig's folder.
struct ProductRig {
  explicit ProductRig(IMessageGateway* gateway = nullptr,
                      WorkflowRole role = WorkflowRole::kAdministrator) {
    installLock = std::make_shared<TarnInstallationLock>(key.path);
    auto installHelper = std::make_unique<ScriptedInstallHelper>();
    helper = installHelper.get();
    WorkflowSteps steps;
    steps.desktopApp = std::make_unique<ScriptedDesktopApp>();
    steps.choices = std::make_unique<ScriptedChoices>();
    auto installation = std::make_unique<ProductInstallation>(ProductInstallInputs{
        applets, view, config, profile, proxy, [this] { return folder.path(); }, "helper-pipe-1",
        "fr_FR", installLock});
    products = installation.get();
    steps.products = std::move(installation);
    DesktopAppLaunchInputs inputs(config);
    inputs.workflowId = "workflow-1";
    inputs.installerWorkflowId = "installer-workflow-1";
    inputs.installHelper = helper;
    inputs.executablePath = "/opt/Skyloom";
    inputs.launchAgentSupport = folder / "support";
    inputs.installLock = installLock;
    inputs.launch = std::ref(launches);
    steps.launch = std::make_unique<DesktopAppLaunch>(std::move(inputs));
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key.path;
    workflow = std::make_unique<WorkflowManager>(
        WorkflowContext{quitRequested, config, proxy, requiredOsVersion, false, "helper-pipe-1",
                        "helper-pipe-2"},
        WorkflowCollaborators{view, gateway ? *gateway : ownGateway, profile, survey, applets,
                              [a = analytics] { return a; }, std::move(installHelper),
                              std::move(steps)},
        role, std::move(settings));
    view.answerTo(workflow.get());
  }
  ~ProductRig() { workflow.reset(); }

  PrivateLockKey key;
  TemporaryFolder folder;
  std::atomic<bool> quitRequested{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  std::string requiredOsVersion;
  RecordingView view;
  WorkflowRig::NoLink ownGateway;
  ScriptedProfile profile;
  ScriptedSurvey survey;
  ReportingApplets applets;
  LaunchRecorder launches;
  std::shared_ptr<RecordingAnalytics> analytics = std::make_shared<RecordingAnalytics>();
  std::shared_ptr<TarnInstallationLock> installLock;
  ProductInstallation* products = nullptr;
  ScriptedInstallHelper* helper = nullptr;
  std::unique_ptr<WorkflowManager> workflow;
};

}  // namespace wendtest
