#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/compat/CompatibilityCheck.h"
#include "foundation/logging/LogCallback.h"
#include "tests/support/CapturingLogger.h"

namespace {

constexpr char kFailedLine[] =
    "Script execution for checking system requirements has failed. Assuming system requirements "
    "are satisfied";
constexpr char kUntouched[] = "untouched";

class FakeRequirements final : public IProductRequirements {
 public:
  std::string getCompatibilityCheckScript() override { return script; }
  std::string getSystemRequirementURL() override { return "https://req.example/sys"; }

  std::string script;
};

class FixedSummary final : public IHardwareSummarySource {
 public:
  explicit FixedSummary(bool works) : works_(works) {}
  bool fetchHardwareSummary(std::string& json) override {
    if (works_) json = "{\"ram\":1}";
    return works_;
  }

 private:
  const bool works_;
};

// The real engine, with every call's arguments kept.
class RecordingRunner final : public ICheckScriptRunner {
 public:
  bool runFunction(const std::string& script, const std::string& functionName,
                   const std::vector<std::string>& arguments, std::string& result,
                   const std::function<bool()>& shouldStop) override {
    calls.push_back(arguments);
    return engine_.runFunction(script, functionName, arguments, result, shouldStop);
  }
  std::vector<std::vector<std::string>> calls;

 private:
  JavaScriptRunner engine_;
};

using Event = std::pair<std::string, std::map<std::string, std::string>>;

class CompatibilityCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&log_); }
  void TearDown() override { setApplicationLogger(nullptr); }

  // A check whose script's checkCompatibility returns `answer` (an expression over `client` and
  // `summary`).
  void make(const std::string& answer, bool summaryWorks = true) {
    requirements_.script =
        "function checkCompatibility(client, summary) { return " + answer + "; }";
    auto runner = std::make_unique<RecordingRunner>();
    runner_ = runner.get();
    check_ = std::make_unique<CompatibilityCheck>(
        requirements_, [] { return std::string("fr_FR"); },
        [this](const std::string& type, const std::map<std::string, std::string>& params) {
          events_.emplace_back(type, params);
        },
        std::make_unique<FixedSummary>(summaryWorks), std::move(runner));
  }

  bool fetchAndCheck() {
    EXPECT_TRUE(check_->FetchHardwareSummary(true));
    EXPECT_TRUE(check_->FetchCompatibilityCheckScript(true));
    return check();
  }
  bool check() {
    alert_ = kUntouched;
    warn_ = true;
    return check_->CheckCompatibility(alert_, warn_);
  }

  wendtest::CapturingLogger log_;
  FakeRequirements requirements_;
  RecordingRunner* runner_ = nullptr;
  std::unique_ptr<CompatibilityCheck> check_;
  std::vector<Event> events_;
  std::string alert_;
  bool warn_ = true;
};

// Every shape of answer: a stop carries the answer with the requirements URL as its alert text;
// only "fail" sends the event, with the failed types.
TEST_F(CompatibilityCheckTest, ScriptAnswersAndTheirVerdicts) {
  struct Case {
    std::string answer;        // the function's return expression, or the whole script
    int verdict;               // 0 go on, 1 warn, 2 fail
    const char* failingTypes;  // "fail" only
    const char* logged;        // a line that must be there, or ""
  };
  const std::string url = "\"systemRequirementURL\":\"https://req.example/sys\"";
  const std::string added = "New json as a result of js execution and sys Requiremnt url: {";
  const Case cases[] = {
      {"JSON.stringify({checkResult: 'success'})", 0, nullptr, ""},
      {"JSON.stringify({checkResult: 'Success'})", 0, nullptr, added.c_str()},
      {"JSON.stringify({checkResult: ['fail']})", 0, nullptr, added.c_str()},
      {"JSON.stringify({checkResult: 'warn', a: 1})", 1, nullptr, added.c_str()},
      {"JSON.stringify({checkResult: 'fail'})", 2, "", ""},
      {"JSON.stringify({checkResult: 'fail', failingList: [{type: 'ram'}]})", 2, "ram", ""},
      {"JSON.stringify({checkResult: 'fail', failingList: [{type: 'ram'}, {type: 'os'}]})", 2,
       "ram ,os", ""},
      {"JSON.stringify({checkResult: 'fail', failingList: {type: 'ram'}})", 2, "", ""},
      {"JSON.stringify({checkResult: 'fail', failingList: [{type: ['ram']}, {type: 'os'}, 3]})", 2,
       "os", ""},
      {"(function () { throw new Error('no'); })()", 0, nullptr, kFailedLine},
      {"function checkCompatibility( {", 0, nullptr, kFailedLine},
      {"42", 0, nullptr, kFailedLine},
      {"false", 0, nullptr, kFailedLine},
      {"'not json'", 0, nullptr, ""},
      {"'[\"fail\"]'", 0, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    log_.clear();
    events_.clear();
    make(c.answer);
    if (c.answer.starts_with("function")) requirements_.script = c.answer;
    EXPECT_EQ(fetchAndCheck(), c.verdict == 0);
    EXPECT_EQ(warn_, c.verdict != 2);
    EXPECT_EQ(c.verdict == 0 ? alert_ == kUntouched : alert_.find(url) != std::string::npos, true)
        << alert_;
    ASSERT_EQ(events_.size(), c.failingTypes ? 1u : 0u);
    if (c.failingTypes) {
      EXPECT_EQ(events_[0],
                Event("lbs-compatibility-check-fail", {{"failing-param-type", c.failingTypes}}));
    }
    bool logged = *c.logged == 0;
    for (const auto& record : log_.records()) logged |= record.message.starts_with(c.logged);
    EXPECT_TRUE(logged);
  }
}

TEST_F(CompatibilityCheckTest, TheScriptGetsTheClientInformationAndTheSummary) {
  make("JSON.stringify({checkResult: 'success'})");
  EXPECT_TRUE(fetchAndCheck());
  const std::string client = "{\"context\":\"Wend\",\"locale\":\"fr_FR\"}\n";
  EXPECT_EQ(CompatibilityCheck::clientInformation("fr_FR"), client);
  ASSERT_EQ(runner_->calls.size(), 1u);
  EXPECT_EQ(runner_->calls[0], (std::vector<std::string>{client, "{\"ram\":1}"}));
  EXPECT_TRUE(log_.has(pando::kLogInfo, "clientInfoJsonString: " + client + ":"));

  // Without a summary the script gets the empty string.
  make("JSON.stringify({checkResult: summary === '' ? 'success' : 'fail'})", false);
  EXPECT_TRUE(fetchAndCheck());
  EXPECT_EQ(runner_->calls.at(0).at(1), "");
  EXPECT_TRUE(log_.has(pando::kLogError, "Failed to get HardwareUtils JSON"));
}

TEST_F(CompatibilityCheckTest, WithoutAScriptNothingRuns) {
  make("");
  requirements_.script.clear();
  EXPECT_TRUE(fetchAndCheck());
  EXPECT_TRUE(runner_->calls.empty());
  EXPECT_TRUE(log_.has(pando::kLogWarn, "Empty compatibilityCheckScript. Skipping check."));
}

// A script that never returns holds the workflow thread: past the time limit it counts as failed
// to run (the check goes on), and a stop asked while it runs ends it too.
TEST_F(CompatibilityCheckTest, AScriptThatNeverReturnsIsEnded) {
  struct Row {
    const char* name;
    std::chrono::milliseconds limit;
    bool stopAsked;
    bool timeLimitLogged;
  } rows[] = {
      {"time limit", std::chrono::milliseconds(300), false, true},
      {"stop", std::chrono::minutes(10), true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    log_.clear();
    make("(function () { for (;;) {} })()");
    check_->setScriptTimeLimit(row.limit);
    const auto start = std::chrono::steady_clock::now();
    check_->setStopCheck([&] {
      return row.stopAsked &&
             std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300);
    });
    EXPECT_TRUE(fetchAndCheck());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(log_.has(pando::kLogWarn, kFailedLine));
    EXPECT_EQ(log_.has(pando::kLogWarn,
                       "The compatibility check script ran past its time limit of 300 ms"),
              row.timeLimitLogged);
  }
}

}  // namespace
