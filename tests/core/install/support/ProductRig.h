#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/install/DesktopAppLaunch.h"
#include "core/install/ProductInstallation.h"
#include "tests/core/install/support/ReportingApplets.h"
#include "tests/core/workflow/support/WorkflowRig.h"

namespace wendtest {

// The launches of the desktop application: "task" (from the workflow) or "open", the path, then
// the arguments. Any thread.
struct LaunchRecorder {
  void operator()(const std::string& path, const std::vector<std::string>& arguments,
                  bool fromWorkflow) {
    std::lock_guard lock(mutex);
    launches.push_back({fromWorkflow ? "task" : "open", path});
    launches.back().insert(launches.back().end(), arguments.begin(), arguments.end());
  }
  std::vector<std::vector<std::string>> all() {
    std::lock_guard lock(mutex);
    return launches;
  }
  std::mutex mutex;
  std::vector<std::vector<std::string>> launches;  // guarded by mutex
};

// A workflow whose product installation and launch are the real ones, on a reporting applet
// host, recording launches instead of starting the application; locks keyed by a private file.
struct ProductRig {
  explicit ProductRig(IMessageGateway* gateway = nullptr,
                      WorkflowRole role = WorkflowRole::kAdministrator) {
    channels.set({"helper-pipe-1", "helper-pipe-2"});
    installLock = std::make_shared<TarnInstallationLock>(key.path);
    auto installHelper = std::make_unique<ScriptedInstallHelper>();
    helper = installHelper.get();
    WorkflowSteps steps;
    steps.desktopApp = std::make_unique<ScriptedDesktopApp>();
    auto installation = std::make_unique<ProductInstallation>(ProductInstallInputs{
        applets, view, config, profile, proxy, [this] { return folder.path(); },
        [this] { return channels.get().first; }, "fr_FR", installLock});
    products = installation.get();
    steps.products = std::move(installation);
    DesktopAppLaunchInputs inputs(config);
    inputs.workflowId = "workflow-1";
    inputs.installHelper = helper;
    inputs.executablePath = "/opt/Skyloom";
    inputs.launchAgentSupport = folder / "support";
    inputs.installLock = installLock;
    inputs.launch = std::ref(launches);
    steps.launch = std::make_unique<DesktopAppLaunch>(std::move(inputs));
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key.path;
    workflow = std::make_unique<WorkflowManager>(
        WorkflowContext{quitRequested, config, proxy, requiredOsVersion, false, channels},
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
  SharedInstallHelperChannels channels;
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
