#pragma once

#include <sys/stat.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config/ConfigValues.h"
#include "core/context/ApplicationContext.h"
#include "core/workflow/ViewMessageData.h"
#include "mediation/ui/ViewMediatorUI.h"
#include "services/common/ServiceHosts.h"
#include "tests/core/context/support/ContextFixture.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/mediation/view/support/RecordingGateway.h"
#include "tests/mediation/view/support/ScriptedBrowser.h"
#include "tests/support/Environment.h"

namespace wendtest {

// Every page and window operation in the order it happened, as "<who> <what> <args>".
using UiRecord = LineRecord;

// The page handles the mediator makes: the first is "main", the second "idra", later ones
// "type3". Each records what it is asked and keeps its creation record, so that a test can play
// the web view host's callbacks. Main thread, as the real host.
class PageBench {
 public:
  class Page final : public mediation::HtmlView {
   public:
    Page(PageBench& bench, std::string name) : bench_(bench), name_(std::move(name)) {
      ++bench_.live;
    }
    ~Page() override {
      --bench_.live;
      if (bench_.pages_[name_] == this) bench_.pages_.erase(name_);
    }
    bool create(const mediation::HtmlViewInitData& data) override {
      init = data;
      bench_.pages_[name_] = this;
      note("create " + data.initUrl + (data.showOnInit ? " shown" : " hidden"));
      return true;
    }
    bool setUrl(const std::string& url) override { return note("load " + url); }
    bool sendMessage(const std::string& name, const std::string& data) override {
      return note("send " + name + " " + data);
    }
    bool show() override { return note("show"); }
    bool hide() override { return note("hide"); }
    void setProxyCredentials(const std::string& user, const std::string& password) override {
      note("proxy " + user + " " + password);
    }
    bool executeScript(const std::string&, int, ScriptResult) override { return false; }
    void* getWebView() const override { return nullptr; }

    mediation::HtmlViewInitData init;

   private:
    bool note(const std::string& what) {
      bench_.record.add(name_ + " " + what);
      return true;
    }
    PageBench& bench_;
    const std::string name_;
  };

  mediation::HtmlViewFactory factory() {
    return [this]() -> std::unique_ptr<mediation::HtmlView> {
      const int made = made_++;
      return std::make_unique<Page>(*this, made == 0 ? "main" : made == 1 ? "idra" : "type3");
    };
  }
  // The live page of that name; null when there is none.
  Page* page(const std::string& name) {
    auto found = pages_.find(name);
    return found == pages_.end() ? nullptr : found->second;
  }

  // The host's callbacks, as it would make them.
  void loaded(const std::string& name, const std::string& url) {
    Page* target = page(name);
    if (target && target->init.loadCompleteCallbackFnPtr) {
      target->init.loadCompleteCallbackFnPtr(url, target->init.callbackContext);
    }
  }
  void loadError(const std::string& name, int kind, const std::string& url) {
    Page* target = page(name);
    if (target && target->init.loadErrorCallbackFnPtr) {
      target->init.loadErrorCallbackFnPtr(kind, url, -1, target->init.callbackContext);
    }
  }
  void loadWarning(const std::string& name, int kind, const std::string& url) {
    Page* target = page(name);
    if (target && target->init.loadWarningCallbackFnPtr) {
      target->init.loadWarningCallbackFnPtr(kind, "https://page", url, -1,
                                            target->init.callbackContext);
    }
  }
  void message(const std::string& name, const std::string& data) {
    Page* target = page("main");
    if (target && target->init.messageCallbackFnPtr) {
      target->init.messageCallbackFnPtr(name, data, target->init.callbackContext);
    }
  }

  // A new context's pages are named from the start again.
  void reset() {
    made_ = 0;
    pages_.clear();
    record.clear();
  }

  UiRecord record;
  std::atomic<int> live{0};

 private:
  std::map<std::string, Page*> pages_;
  int made_ = 0;
};

// The application shell with a manual main loop: posted tasks wait until the test drains them.
class ManualShell final : public mediation::IUiShell {
 public:
  explicit ManualShell(UiRecord& record) : record_(record) {}
  void showMainWindow(const std::string& title) override { record_.add("shell showMain " + title); }
  void hideMainWindow() override { record_.add("shell hideMain"); }
  void bringWindowToFront() override { record_.add("shell front"); }
  void terminateApplication() override { record_.add("shell terminate"); }
  void setCloseButtonEnabled(mediation::ShellWindow, bool enabled) override {
    record_.add(std::string("shell close ") + (enabled ? "on" : "off"));
  }
  void showIdraType3Window() override { record_.add("shell showType3"); }
  void hideIdraType3Window() override { record_.add("shell hideType3"); }
  void setIdraType3WindowTitle(const std::string& title) override {
    record_.add("shell type3Title " + title);
  }
  void* idraType3ContentView() override { return &contentView_; }
  bool post(Task task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    return true;
  }
  // Runs every queued task, those they post included, in order; returns how many ran.
  int drain() {
    int ran = 0;
    for (;;) {
      Task task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return ran;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++ran;
    }
  }
  size_t queued() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  UiRecord& record_;
  int contentView_ = 0;
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;  // guarded by mutex_
};

// The dock tile's last value. Any thread.
class RecordingDock final : public mediation::IDockProgress {
 public:
  explicit RecordingDock(std::shared_ptr<std::atomic<int64_t>> value) : value_(std::move(value)) {}
  void update(uint64_t value) override { value_->store(static_cast<int64_t>(value)); }

 private:
  std::shared_ptr<std::atomic<int64_t>> value_;
};

// The sign-in profile's answers for the sign-in view, and the device token it was given.
struct ProfileScript {
  std::mutex mutex;
  std::string authorizeUrl = "https://signin.example/authorize";
  bool socialWorks = true;
  std::string socialAnswer;
  std::string deviceToken;  // guarded by mutex
  std::string lastAuthorize;
};

class ScriptedSignIn final : public ISignInProfile {
 public:
  explicit ScriptedSignIn(std::shared_ptr<ProfileScript> script) : script_(std::move(script)) {}
  void setEnvironment(const std::string&) override {}
  void setDeviceToken(const std::string& token) override {
    std::lock_guard lock(script_->mutex);
    script_->deviceToken = token;
  }
  std::string getAuthorizeUrl(const std::string& locale, const std::string& contextId,
                              bool signUp) override {
    std::lock_guard lock(script_->mutex);
    script_->lastAuthorize = locale + " " + contextId + (signUp ? " up" : " in");
    return script_->authorizeUrl;
  }
  bool getSocialProvidersAuth(const std::string&, const std::string&, const std::string&,
                              std::string& out) override {
    std::lock_guard lock(script_->mutex);
    out = script_->socialAnswer;
    return script_->socialWorks;
  }

 private:
  std::shared_ptr<ProfileScript> script_;
};

// Analytics the context owns that report into a recorder the test keeps.
class SharedAnalytics final : public IAnalytics {
 public:
  explicit SharedAnalytics(std::shared_ptr<RecordingAnalytics> target)
      : target_(std::move(target)) {}
  void sendServiceEvent(const std::string& type) override { target_->sendServiceEvent(type); }

 private:
  std::shared_ptr<RecordingAnalytics> target_;
};

// A clock the test moves.
class FakeSeconds final : public mediation::MonotonicSeconds {
 public:
  int64_t now() const override { return now_.load(); }
  void set(int64_t seconds) { now_.store(seconds); }

 private:
  std::atomic<int64_t> now_{1000};
};

// What one mediator test drives and observes.
struct MediatorBench {
  mediation::HtmlInterfacePorts ports() {
    mediation::HtmlInterfacePorts made;
    made.makeView = pages.factory();
    made.shell = &shell;
    made.dock = std::make_unique<RecordingDock>(dock);
    return made;
  }

  FakeSeconds clock;
  PageBench pages;
  ManualShell shell{pages.record};
  std::shared_ptr<std::atomic<int64_t>> dock = std::make_shared<std::atomic<int64_t>>(-1);
  std::shared_ptr<GatewayRecord> gateway = std::make_shared<GatewayRecord>();
  std::shared_ptr<ProfileScript> profile = std::make_shared<ProfileScript>();
  std::shared_ptr<RecordingAnalytics> analytics = std::make_shared<RecordingAnalytics>();
  std::shared_ptr<ScriptedBrowser> browser = std::make_shared<ScriptedBrowser>();
};

class MediatorParts final : public StandInPartsFactory {
 public:
  MediatorParts(std::string resources, MediatorBench& bench)
      : resources_(std::move(resources)), bench_(bench) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(resources_);
  }
  std::unique_ptr<IAnalytics> makeAnalytics() override {
    return std::make_unique<SharedAnalytics>(bench_.analytics);
  }
  std::unique_ptr<ISignInProfile> makeSignInProfile() override {
    return std::make_unique<ScriptedSignIn>(bench_.profile);
  }
  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return std::make_unique<RecordingGateway>(bench_.gateway);
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    if (silent) return StandInPartsFactory::makeViewMediator(silent, argc, argv);
    mediation::ViewMediatorUISettings settings;
    settings.clock = &bench_.clock;
    return std::make_unique<mediation::ViewMediatorUI>(argc, argv, bench_.ports(), bench_.browser,
                                                       settings);
  }

 private:
  std::string resources_;
  MediatorBench& bench_;
};

// The real context and workflow manager (not started) with the interface mediator on recording
// pages, a manual shell, the link and the sign-in profile of the bench.
class MediatorTest : public ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    writeConfig(
        "<config><sapCode>KVRQ</sapCode><productName>Tarn</productName>"
        "<contextID>ctx-1</contextID></config>");
  }
  std::unique_ptr<IContextPartsFactory> parts() override {
    return std::make_unique<MediatorParts>(root_ / "Resources", bench_);
  }

  // The context of a user's process (administrator or not) with its main views made.
  void start(bool admin = false) {
    bench_.shell.drain();
    bench_.pages.reset();
    ASSERT_TRUE(initialize({}));
    ApplicationContext& app = context();
    app.isAdmin = admin;
    app.locale = "en_US";
    char* argv[] = {program_.data(), firstArgument_.data(), nullptr};
    ASSERT_TRUE(app.InitMessageGateway(2, argv));
    mediator().createMainViews(&parent_, "file:///bundle/main.html");
  }
  static ApplicationContext& context() { return *ApplicationContext::GetInstance(); }
  static WorkflowManager& workflow() { return *context().workflowManager; }
  static mediation::ViewMediatorUI& mediator() {
    return dynamic_cast<mediation::ViewMediatorUI&>(*context().viewMediator);
  }
  static std::string root() { return idraSentinelRoot(GetEnvironment(context().config)); }

  // Runs the main thread's queue, then gives the lines recorded since the last call.
  std::vector<std::string> drained() {
    bench_.shell.drain();
    auto lines = bench_.pages.record.lines();
    bench_.pages.record.clear();
    return lines;
  }
  // The page messages among the lines since the last call, "name data".
  std::vector<std::string> pageMessages() {
    std::vector<std::string> messages;
    for (const std::string& line : drained()) {
      if (line.rfind("main send ", 0) == 0) messages.push_back(line.substr(10));
    }
    return messages;
  }
  std::string deviceToken() {
    std::lock_guard lock(bench_.profile->mutex);
    return bench_.profile->deviceToken;
  }

  MediatorBench bench_;
  int parent_ = 0;
  ScopedEnv opener_{"WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER};
  ScopedEnv openerLog_{"WEND_FAKE_URL_OPENER_LOG", root_ / "opened"};
  std::string program_ = "Install";
  std::string firstArgument_ = "--hook-check";
};

}  // namespace wendtest
