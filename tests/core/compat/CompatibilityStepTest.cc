#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/compat/CompatibilityStep.h"
#include "core/config/ConfigValues.h"
#include "tests/core/install/support/StepRig.h"
#include "tests/support/Environment.h"
#include "tools/testserver/TestServer.h"

namespace {

constexpr char kPath[] = "/products";

// Every summary names how many were made before it: {"ram":N}.
class CountingSummary final : public IHardwareSummarySource {
 public:
  explicit CountingSummary(std::atomic<int>& fetches) : fetches_(fetches) {}
  bool fetchHardwareSummary(std::string& json) override {
    json = "{\"ram\":" + std::to_string(++fetches_) + "}";
    return true;
  }

 private:
  std::atomic<int>& fetches_;
};

// The products data, counting the script lookups.
class CountingRequirements final : public IProductRequirements {
 public:
  explicit CountingRequirements(ProductsData& data) : data_(data) {}
  std::string getCompatibilityCheckScript() override {
    ++scripts;
    return data_.getCompatibilityCheckScript();
  }
  std::string getSystemRequirementURL() override { return data_.getSystemRequirementURL(); }
  std::atomic<int> scripts{0};

 private:
  ProductsData& data_;
};

// The compatibility steps 0x201, 0x401 and 0x501 on the real check, its script served by the
// test server in the products document and run on the real engine; only the first summary falls
// short. A script of its own replaces that one.
struct CompatibilityWalk {
  CompatibilityWalk(const std::string& verdict, const std::string& checkFlag,
                    const std::string& ownScript = "") {
    EXPECT_TRUE(server.start());
    const std::string script =
        !ownScript.empty()
            ? ownScript
            : "function checkCompatibility(client, summary) {"
              "  return JSON.stringify({checkResult: JSON.parse(summary).ram &lt; 2 ? '" +
                  verdict + "' : 'success'});}";
    server.addBody(kPath,
                   "<channels><channel><products><product version='1'><custom-data>"
                   "<custom-entry key='systemRequirementURL'><value>https://req.example</value>"
                   "</custom-entry><custom-entry key='compatibilityCheckScript'><value>" +
                       script +
                       "</value></custom-entry></custom-data></product></products></channel>"
                       "</channels>");
    SetConfigValue(config, "productServiceUrl", server.url(kPath) + "?a=1");
    SetConfigValue(config, "version", "1");
    check = std::make_unique<CompatibilityCheck>(
        requirements, [] { return std::string("en_US"); },
        [this](const std::string& type, const std::map<std::string, std::string>& params) {
          rig->analytics->sendServiceEventWithParams(type, params);
        },
        std::make_unique<CountingSummary>(summaries));
    WorkflowSteps steps;
    steps.compatibility = std::make_unique<CompatibilityStep>(*check);
    rig = std::make_unique<wendtest::StepRig>(std::move(steps));
    rig->config.set("checkForCompatibility", checkFlag);
  }
  ~CompatibilityWalk() { rig.reset(); }

  wendtest::ScopedEnv noHttp{"http_proxy", std::nullopt};
  testserver::TestServer server;
  ConfigStore config;
  ProductsData products{config, nullptr, ProductsDataSettings{5}};
  CountingRequirements requirements{products};
  std::atomic<int> summaries{0};
  std::unique_ptr<CompatibilityCheck> check;
  std::unique_ptr<wendtest::StepRig> rig;
};

TEST(CompatibilityStep, AStopShowsTheAlertAndARetryPassesOnAFreshSummary) {
  for (const std::string verdict : {"fail", "warn"}) {
    SCOPED_TRACE(verdict);
    CompatibilityWalk walk(verdict, "true");
    wendtest::StepRig& rig = *walk.rig;
    EXPECT_EQ(rig.walk(code(WorkflowState::kSystemCheck), code(WorkflowState::kCompatibilityCheck)),
              code(WorkflowState::kCompatibilityCheck));
    rig.workflow->runStep();
    rig.workflow->runStep();  // blocked behind the alert
    ASSERT_EQ(rig.view.count("showCompatibilityErrorAlert"), 1);
    EXPECT_EQ(
        rig.view.last("showCompatibilityErrorAlert").args.at(0),
        "{\"checkResult\":\"" + verdict + "\",\"systemRequirementURL\":\"https://req.example\"}\n");
    const WorkflowStateBlock block = rig.workflow->stateBlock();
    EXPECT_EQ(block.stateCode, code(WorkflowState::kCompatibilityCheck));
    EXPECT_EQ(block.uiAction, code(UIAction::kBlocked));
    EXPECT_EQ(block.errorCode, 0);
    EXPECT_EQ(block.retryMode, verdict == "warn" ? 1 : 0);
    EXPECT_EQ(rig.analytics->events().size(), verdict == "warn" ? 0u : 1u);

    rig.workflow->setCurrentUIAction(UIAction::kRetry);  // "retryClicked"
    EXPECT_EQ(rig.walk(0, code(WorkflowState::kFirstScreen), 1), code(WorkflowState::kFirstScreen));
    EXPECT_EQ(walk.summaries, 2);
    EXPECT_EQ(walk.requirements.scripts, 1);
    EXPECT_EQ(walk.server.requestsFor(kPath).size(), 1u);
  }
}

TEST(CompatibilityStep, SwitchedOffNothingIsFetchedOrChecked) {
  CompatibilityWalk walk("fail", "");
  EXPECT_EQ(walk.rig->walk(code(WorkflowState::kSystemCheck), code(WorkflowState::kFirstScreen)),
            code(WorkflowState::kFirstScreen));
  EXPECT_EQ(walk.summaries, 0);
  EXPECT_TRUE(walk.server.requests().empty());
  EXPECT_EQ(walk.rig->view.count("showCompatibilityErrorAlert"), 0);
}

// The workflow thread runs a script that never returns: a quit the page asks meanwhile ends it and
// is taken in the step, without a confirmation and without the compatibility alert.
TEST(CompatibilityStep, AQuitWhileTheScriptRunsIsTaken) {
  CompatibilityWalk walk("fail", "true", "function checkCompatibility() { for (;;) {} }");
  wendtest::StepRig& rig = *walk.rig;
  EXPECT_EQ(rig.walk(code(WorkflowState::kSystemCheck), code(WorkflowState::kCompatibilityCheck)),
            code(WorkflowState::kCompatibilityCheck));
  std::thread page([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rig.workflow->setCurrentUIAction(UIAction::kQuitRequested);  // "cancelButtonClicked"
  });
  const auto start = std::chrono::steady_clock::now();
  rig.workflow->runStep();
  page.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(rig.walk(0, code(WorkflowState::kFinal), 3), code(WorkflowState::kFinal));
  EXPECT_EQ(rig.view.count("showQuitConfirmation"), 0);
  EXPECT_EQ(rig.view.count("showCompatibilityErrorAlert"), 0);
}

}  // namespace
