#pragma once

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/context/ApplicationContext.h"
#include "foundation/xml/XMLParser.h"
#include "mediation/view/ViewMediatorBase.h"
#include "mediation/view/ViewMediatorSilent.h"
#include "tests/mediation/view/support/RecordingGateway.h"
#include "tests/mediation/view/support/ScriptedBrowser.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/WaitUntil.h"

namespace wendtest {

// A mediator that keeps what reaches its slot 2, as the page would get it. Any thread.
class RecordingMediator final : public ViewMediatorBase {
 public:
  using ViewMediatorBase::ViewMediatorBase;
  void sendMessageToView(const std::string& name, const std::string& data) override {
    std::lock_guard lock(mutex_);
    sent_.emplace_back(name, data);
  }
  void onMessageFromView(const std::string& name, const std::string& data) override {
    processMessageFromView(name, data);
  }
  std::vector<std::pair<std::string, std::string>> sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> sent_;  // guarded by mutex_
};

// Stand-in parts with the bundle from a test folder, this test's mediator and a link that
// records what is sent over it.
class ViewTestParts final : public StandInPartsFactory {
 public:
  ViewTestParts(std::string folder, std::shared_ptr<ScriptedBrowser> browser,
                std::shared_ptr<GatewayRecord> link = std::make_shared<GatewayRecord>())
      : folder_(std::move(folder)), browser_(std::move(browser)), link_(std::move(link)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(folder_);
  }
  std::unique_ptr<IMessageGateway> makeMessageGateway() override {
    return std::make_unique<RecordingGateway>(link_);
  }
  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int, char**) override {
    ViewMediatorSettings settings;
    settings.smsTimeoutSeconds = 1;
    if (silent) return std::make_unique<ViewMediatorSilent>(settings);
    return std::make_unique<RecordingMediator>(browser_, settings);
  }

 private:
  std::string folder_;
  std::shared_ptr<ScriptedBrowser> browser_;
  std::shared_ptr<GatewayRecord> link_;
};

// The real context with the online services against the test server, its (unstarted) workflow
// manager, a recording link (link_) and the fake URL opener writing what it was asked to open to
// a file.
class ViewTest : public ServicesTest {
 protected:
  static constexpr char kEventsPath[] = "/hsmessaging/rest";

  void SetUp() override {
    ServicesTest::SetUp();
    server_.addBody(kEventsPath, "ok");
  }

  ApplicationContext* startView(std::vector<std::string> arguments = {}, bool silent = false) {
    ApplicationContext::SetPartsFactory(
        withOnlineServices(std::make_unique<ViewTestParts>(root_ / "Resources", browser_, link_),
                           [](const std::string& environment, IdraHost& out) {
                             return idraHostFor(environment, out);
                           }));
    arguments.insert(arguments.begin(), "Install");
    arguments_ = std::move(arguments);
    argv_.clear();
    for (std::string& argument : arguments_) argv_.push_back(argument.data());
    ApplicationContext* context = ApplicationContext::GetInstance();
    EXPECT_TRUE(context->Initialize(static_cast<int>(argv_.size()), argv_.data()));
    context->isAdmin = true;
    context->isSilent = silent;
    EXPECT_TRUE(context->InitMessageGateway(static_cast<int>(argv_.size()), argv_.data()));
    return context;
  }
  static ApplicationContext& context() { return *ApplicationContext::GetInstance(); }
  static WorkflowManager& workflow() { return *context().workflowManager; }
  static ViewMediatorBase& mediator() {
    return dynamic_cast<ViewMediatorBase&>(*context().viewMediator);
  }
  static RecordingMediator& recorder() {
    return dynamic_cast<RecordingMediator&>(*context().viewMediator);
  }

  // Event types (with their parameters) the server got, in arrival order.
  std::vector<std::map<std::string, std::string>> events() const {
    std::vector<std::map<std::string, std::string>> all;
    for (const auto& request : server_.requestsFor(kEventsPath)) {
      XMLParser document;
      int count = 0;
      if (!document.initWithXMLString(request.body())) continue;
      document.getNodeListForXQuery("/events/event[@name='CORVEL_SERVICE']", &count);
      for (int i = 1; i <= count; ++i) {
        const std::string event = "/events/event[" + std::to_string(i) + "]/param";
        std::vector<std::string> names, values;
        document.stringValueListForXQuery(event + "/@name", names, nullptr);
        document.stringValueListForXQuery(event, values, nullptr);
        auto& params = all.emplace_back();
        for (size_t p = 0; p < names.size() && p < values.size(); ++p) params[names[p]] = values[p];
      }
    }
    return all;
  }
  // The parameters of the first event of this type to arrive; waits for it.
  std::map<std::string, std::string> eventOf(const std::string& type) const {
    std::map<std::string, std::string> found;
    waitUntil([&] {
      for (auto& event : events()) {
        if (event["eventType"] == type) {
          found = event;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  // What the fake opener was asked to open, one address a line.
  std::string opened() const {
    std::ifstream file(root_ / "opened");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::shared_ptr<ScriptedBrowser> browser_ = std::make_shared<ScriptedBrowser>();
  std::shared_ptr<GatewayRecord> link_ = std::make_shared<GatewayRecord>();
  ScopedEnv opener_{"WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER};
  ScopedEnv openerLog_{"WEND_FAKE_URL_OPENER_LOG", root_ / "opened"};
  std::vector<std::string> arguments_;
  std::vector<char*> argv_;
};

}  // namespace wendtest
