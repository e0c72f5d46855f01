#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config/ConfigStore.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowManager.h"
#include "tests/core/workflow/support/PrivateLockKey.h"
#include "tests/core/workflow/support/RecordingView.h"
#include "tests/core/workflow/support/ScriptedInstallHelper.h"
#include "tests/core/workflow/support/StatePrinting.h"
#include "tests/support/SemaphoreSets.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// Analytics that records each event by its type; the parameters of the last one that had any.
class RecordingAnalytics final : public IAnalytics {
 public:
  void sendServiceEvent(const std::string& type) override { record(type); }
  bool sendServiceEventWithParams(const std::string& type,
                                  const std::map<std::string, std::string>& params) override {
    record(type, &params);
    return true;
  }
  void sendCarouselLoadEvent(bool start) override {
    record(start ? "lbs-carousel-load-start" : "lbs-carousel-load-end");
  }
  void sendDownloadRetryEvent(const std::string& code) override { record("retry " + code); }
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::map<std::string, std::string> lastParams() const {
    std::lock_guard lock(mutex_);
    return lastParams_;
  }

 private:
  void record(std::string event, const std::map<std::string, std::string>* params = nullptr) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    if (params) lastParams_ = *params;
  }
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::map<std::string, std::string> lastParams_;
};

// A sign-in profile whose network check answers what the test sets (0 reachable).
class ScriptedProfile final : public ISignInProfile {
 public:
  void setEnvironment(const std::string&) override {}
  int waitForSocialProvidersResult() override { return networkResult; }
  void getSocialProvidersList(bool) override { ++networkChecks; }
  std::atomic<int> networkResult{0};
  std::atomic<int> networkChecks{0};
};

class ScriptedApplets final : public IAppletMessageManager {
 public:
  int StartWorkflow(const ProductInstallArgs*) override { return 0; }
  void HandleUserAction(const AppletUserAction* action) override {
    std::lock_guard lock(mutex_);
    std::string line = action->action ? action->action : "";
    line += std::string(" user=") + (action->proxyUserName ? action->proxyUserName : "-");
    line += std::string(" location=") + (action->installLocation ? action->installLocation : "-");
    actions_.push_back(line);
  }
  void GetProductInfo(AppletProductInfo&) override {}
  int FinalizeCore() override {
    ++finalized;
    return 0;
  }
  std::vector<std::string> actions() const {
    std::lock_guard lock(mutex_);
    return actions_;
  }
  std::atomic<int> finalized{0};

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> actions_;
};

class ScriptedSurvey final : public ISurveyManager {
 public:
  int fetchSurveyContext() override { return status; }
  std::atomic<int> status{2};  // 2: no survey
};

class ScriptedChoices final : public IUserChoices {
 public:
  bool privacyNoticeAccepted() override { return accepted; }
  std::atomic<bool> accepted{true};
};

// Install steps that succeed: the applications document reads, the installer library loads, the
// install and product threads "start" (the test moves the workflow on, as their callbacks do).
class ScriptedDesktopApp final : public IDesktopAppInstall {
 public:
  bool downloadApplicationsDocument(IInstallWorkflow&, std::string& path) override {
    path = "/tmp/applications.xml";
    ++downloads;
    return downloadWorks.load();
  }
  bool readApplicationsDocument(const std::string&, TarnApplication& out) override {
    out.desktopAppVersion = "5.2.0";
    out.totalAssetSize = 123456789;
    return readWorks.load();
  }
  bool acquireInstallerLibrary(IInstallWorkflow&, const TarnApplication&) override { return true; }
  bool startInstallWorkflow(IInstallWorkflow&) override { return true; }
  std::string codeToText(int code) override { return "PIM_STATUS_" + std::to_string(code); }
  std::atomic<bool> downloadWorks{true};
  std::atomic<bool> readWorks{true};
  std::atomic<int> downloads{0};
};

class ScriptedProducts final : public IProductInstall {
 public:
  bool startProductInstallWorkflow(IInstallWorkflow&) override { return true; }
  void joinProductInstallThread() override { ++joins; }
  std::string validateInstallLocation(const std::string& location) override {
    return location.rfind("/bad", 0) == 0 ? location.substr(4) : "";
  }
  std::atomic<int> joins{0};
};

// Parts of the process a rig's workflow uses instead of the rig's own, when set.
struct RigOutside {
  ISignInProfile* profile = nullptr;
  ISurveyManager* survey = nullptr;
  std::function<std::shared_ptr<IAnalytics>()> analytics;
};

// One workflow with its own context, lock key and recording parts, so that several share a test
// process. Waits are cut to nothing and the tick to 2 ms. Scripted steps unless the test gives
// its own (then desktopApp, productInstall and choices stay null).
struct WorkflowRig {
  explicit WorkflowRig(WorkflowRole role, IMessageGateway* gateway = nullptr,
                       bool testWorkflow = false, const std::string& lockKeyPath = "",
                       RigOutside outside = {}) {
    auto desktop = std::make_unique<ScriptedDesktopApp>();
    auto products = std::make_unique<ScriptedProducts>();
    auto userChoices = std::make_unique<ScriptedChoices>();
    desktopApp = desktop.get();
    productInstall = products.get();
    choices = userChoices.get();
    WorkflowSteps steps;
    steps.choices = std::move(userChoices);
    steps.desktopApp = std::move(desktop);
    steps.products = std::move(products);
    isTestWorkflow = testWorkflow;
    build(role, gateway, lockKeyPath, std::move(outside), std::move(steps));
  }
  explicit WorkflowRig(WorkflowSteps steps, WorkflowRole role = WorkflowRole::kUser) {
    build(role, nullptr, "", {}, std::move(steps));
  }
  ~WorkflowRig() { workflow.reset(); }

  // Runs steps from `from` (0: where it is) until the workflow reaches `to` or `limit` steps went
  // by, delivering the page's answers; the state it is in then.
  uint32_t walk(uint32_t from, uint32_t to, int limit = 10) {
    if (from) workflow->setStateCode(static_cast<WorkflowState>(from));
    for (int i = 0; i < limit && code(workflow->stateCode()) != to; ++i) {
      workflow->runStep();
      view.deliverAnswers();
    }
    return code(workflow->stateCode());
  }
  // Steps the workflow on the test's thread until it ends; the states it went through.
  std::vector<uint32_t> walkToEnd(int maxSteps = 400) {
    std::vector<uint32_t> states{code(workflow->stateCode())};
    const auto note = [&] {
      const uint32_t now = code(workflow->stateCode());
      if (states.back() != now) states.push_back(now);
    };
    for (int i = 0; i < maxSteps && !quitRequested; ++i) {
      workflow->runStep();
      note();
      view.deliverAnswers();
      note();
      finishThreads(*workflow);
      note();
    }
    return states;
  }
  // What the install thread and the product-install callback do when their work is done.
  static void finishThreads(WorkflowManager& workflow) {
    if (workflow.stateCode() == WorkflowState::kDesktopAppInstall)
      workflow.setStateCode(WorkflowState::kDesktopAppInstalled);
    if (workflow.stateCode() == WorkflowState::kProductInstall)
      workflow.setStateCode(WorkflowState::kLaunch);
  }

  static WorkflowSettings fastSettings() {
    WorkflowSettings settings;
    settings.tick = std::chrono::milliseconds(2);
    settings.launchPause = settings.launchWait = settings.launchWaitLong =
        std::chrono::milliseconds(0);
    return settings;
  }

  void build(WorkflowRole role, IMessageGateway* gateway, const std::string& lockKeyPath,
             RigOutside outside, WorkflowSteps steps) {
    WorkflowSettings settings = fastSettings();
    settings.lockKeyPath = lockKeyPath.empty() ? key.path : lockKeyPath;
    auto installHelper = std::make_unique<ScriptedInstallHelper>();
    helper = installHelper.get();
    workflow = std::make_unique<WorkflowManager>(
        WorkflowContext{quitRequested, config, proxy, requiredOsVersion, isTestWorkflow, channels},
        WorkflowCollaborators{
            view, gateway ? *gateway : ownGateway, outside.profile ? *outside.profile : profile,
            outside.survey ? *outside.survey : survey, applets,
            outside.analytics ? outside.analytics
                              : [a = analytics]() -> std::shared_ptr<IAnalytics> { return a; },
            std::move(installHelper), std::move(steps)},
        role, std::move(settings));
    // Named only now, as an elevated copy learns them from the init packet after it is built.
    channels.set({"helper-pipe-1", "helper-pipe-2"});
    view.answerTo(workflow.get());
  }

  // A gateway of a process with nobody to link to: sends succeed without effect.
  class NoLink final : public IMessageGateway {
   public:
    bool InitMessageGateway(const CommandLineParser&) override { return true; }
    void WaitForGatewayThread() override {}
    int sendPacket(int type, const std::string&) override {
      sent.push_back(type);
      return 0;
    }
    LinkState linkState() const override { return LinkState::kConnected; }
    std::vector<int> sent;
  };

  PrivateLockKey key;
  std::atomic<bool> quitRequested{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  SharedInstallHelperChannels channels;
  std::string requiredOsVersion;
  bool isTestWorkflow = false;
  RecordingView view;
  NoLink ownGateway;
  ScriptedProfile profile;
  ScriptedSurvey survey;
  ScriptedApplets applets;
  std::shared_ptr<RecordingAnalytics> analytics = std::make_shared<RecordingAnalytics>();
  ScriptedDesktopApp* desktopApp = nullptr;
  ScriptedProducts* productInstall = nullptr;
  ScriptedChoices* choices = nullptr;
  ScriptedInstallHelper* helper = nullptr;
  std::unique_ptr<WorkflowManager> workflow;
};

}  // namespace wendtest
