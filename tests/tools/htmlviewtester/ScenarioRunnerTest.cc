#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "tests/support/MainLoopWait.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/htmlviewtester/ScenarioRunner.h"

namespace htmlviewtester {
namespace {

// A page that answers from a script of its own: the screen it says it shows, and "ok" to every
// element script, whose text it keeps. Called on the UI thread only.
class ScriptedView final : public mediation::HtmlView {
 public:
  std::string screen = "spinner";
  int screenLooks = 0;
  int looksUntilWelcome = 3;
  std::vector<std::string> elementScripts;

  bool executeScript(const std::string& script, int, ScriptResult done) override {
    if (script.find("selector") != std::string::npos) {
      elementScripts.push_back(script);
      screen = "main";
      done(std::string("ok"));
    } else {
      if (++screenLooks == looksUntilWelcome) screen = "welcome";
      done(screen + "\n");
    }
    return true;
  }
  bool create(const mediation::HtmlViewInitData&) override { return false; }
  bool setUrl(const std::string&) override { return false; }
  bool sendMessage(const std::string&, const std::string&) override { return false; }
  bool show() override { return false; }
  bool hide() override { return false; }
  void setProxyCredentials(const std::string&, const std::string&) override {}
  void* getWebView() const override { return nullptr; }
};

class ScenarioRunnerTest : public testing::Test {
 protected:
  std::unique_ptr<ScenarioRunner> runner(const std::string& scenario) {
    std::vector<Step> steps;
    std::string error;
    EXPECT_TRUE(parseScenario(scenario, steps, error)) << error;
    RunnerSettings settings;
    settings.shotsFolder = folder_.path();
    settings.pollInterval = std::chrono::milliseconds(5);
    return std::make_unique<ScenarioRunner>(std::move(steps), settings);
  }

  // Runs the default main context, as the UI thread does: the loop waits in its poll, so the
  // scenario's thread wakes it as it would wake the UI thread.
  template <typename Predicate>
  bool pumpUntil(Predicate done) {
    return wendtest::runLoopUntil(done);
  }

  bool has(const char* marker) {
    struct stat status {};
    return stat((folder_ / marker).c_str(), &status) == 0;
  }
  std::string outcome(const char* marker) {
    std::ostringstream text;
    text << std::ifstream(folder_ / marker).rdbuf();
    return text.str();
  }

  wendtest::TemporaryFolder folder_;
  ScriptedView view_;
};

// The view comes after the start, as the mediator makes it; the selector reaches the page as a
// literal whatever it holds.
TEST_F(ScenarioRunnerTest, StepsWaitForTheViewAndThePageAndPassTheSelectorAsText) {
  auto played = runner("wait welcome\nclick a\"b\\c</script>\nwait main\n");
  played->start();
  played->registerView("main", &view_);
  ASSERT_TRUE(pumpUntil([&] { return has("DONE") || has("FAILED"); }));
  EXPECT_EQ(outcome("DONE"), "3 steps passed\n") << outcome("FAILED");
  EXPECT_EQ(view_.screenLooks, 4);  // spinner, spinner, welcome, then main
  ASSERT_EQ(view_.elementScripts.size(), 1u);
  EXPECT_NE(view_.elementScripts[0].find(R"("a\"b\\c\u003c/script>")"), std::string::npos)
      << view_.elementScripts[0];
  played->stop();
}

TEST_F(ScenarioRunnerTest, StopEndsAWaitAtOnceAndTheViewIsNotAskedAgain) {
  auto played = runner("timeout 600\nwait never\n");
  played->registerView("main", &view_);
  played->start();
  ASSERT_TRUE(pumpUntil([&] { return view_.screenLooks >= 2; }));
  const auto before = std::chrono::steady_clock::now();
  played->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_EQ(outcome("FAILED"), "the application ended during step 2 (line 2) \"wait never\"\n");
  // Work already queued for the UI thread finds the runner stopped.
  const int looks = view_.screenLooks;
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(view_.screenLooks, looks);
}

// The application ending is what wait-end waits for: the scenario passes, and says the screen the
// application ended on.
TEST_F(ScenarioRunnerTest, TheApplicationEndingPassesAWaitForTheEnd) {
  auto played = runner("wait welcome\nwait-end\n");
  played->registerView("main", &view_);
  played->start();
  ASSERT_TRUE(pumpUntil([&] { return view_.screenLooks > view_.looksUntilWelcome; }));
  testing::internal::CaptureStderr();
  played->stop();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "HTMLViewTester: the application ended; last screen shown: \"welcome\", overlay: "
            "none\n");
  EXPECT_EQ(outcome("DONE"), "2 steps passed\n");
  EXPECT_FALSE(has("FAILED"));
}

// The driver's marker file lets the scenario go on; the step before it has passed already.
TEST_F(ScenarioRunnerTest, AWaitForAFileGoesOnOnceTheDriverMakesIt) {
  auto played = runner("wait welcome\nwait-file restored\nwait welcome\n");
  played->registerView("main", &view_);
  played->start();
  ASSERT_TRUE(pumpUntil([&] { return view_.screenLooks >= view_.looksUntilWelcome; }));
  const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  pumpUntil([&] { return std::chrono::steady_clock::now() >= later; });
  EXPECT_FALSE(has("DONE") || has("FAILED"));
  EXPECT_EQ(view_.screenLooks, view_.looksUntilWelcome);
  std::ofstream(folder_ / "restored").put('\n');
  ASSERT_TRUE(pumpUntil([&] { return has("DONE") || has("FAILED"); }));
  EXPECT_EQ(outcome("DONE"), "3 steps passed\n") << outcome("FAILED");
  played->stop();
}

}  // namespace
}  // namespace htmlviewtester
