#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/compat/CompatibilityCheck.h"
#include "download/engine/LogCallback.h"
#include "tests/support/CapturingLogger.h"

namespace {

constexpr char kFailedLine[] =
    "Script execution for checking system requirements has failed. Assuming system requirements "
    "are satisfied";
constexpr char kUntouched[] = "untouched";

class FakeRequirements final : public IProductRequirements {
 public:
  std::string getCompatibilityCheckScript() override {
    ++scriptFetches;
    return script;
  }
  std::string getSystemRequirementURL() override { return "https://req.example/sys"; }

  std::string script;
  std::atomic<int> scriptFetches{0};
};

// Every summary names how many were made before it: {"ram":N}.
class CountingSummary final : public IHardwareSummarySource {
 public:
  explicit CountingSummary(bool works) : works_(works) {}
  bool fetchHardwareSummary(std::string& json) override {
    const int number = ++fetches;
    if (works_) json = "{\"ram\":" + std::to_string(number) + "}";
    return works_;
  }
  std::atomic<int> fetches{0};

 private:
  const bool works_;
};

// The real engine, with every call's arguments kept.
class RecordingRunner final : public ICheckScriptRunner {
 public:
  bool runFunction(const std::string& script, const std::string& functionName,
                   const std::vector<std::string>& arguments, std::string& result) override {
    calls.push_back(arguments);
    return engine_.runFunction(script, functionName, arguments, result);
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
    auto summary = std::make_unique<CountingSummary>(summaryWorks);
    auto runner = std::make_unique<RecordingRunner>();
    summary_ = summary.get();
    runner_ = runner.get();
    check_ = std::make_unique<CompatibilityCheck>(
        requirements_, [] { return std::string("fr_FR"); },
        [this](const std::string& type, const std::map<std::string, std::string>& params) {
          events_.emplace_back(type, params);
        },
        std::move(summary), std::move(runner));
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
  CountingSummary* summary_ = nullptr;
  RecordingRunner* runner_ = nullptr;
  std::unique_ptr<CompatibilityCheck> check_;
  std::vector<Event> events_;
  std::string alert_;
  bool warn_ = true;
};

struct AnswerCase {
  const char* name;
  std::string answer;  // the function's return expression
  bool goOn;
  bool warn;
  std::string alert;         // kUntouched when the check goes on
  const char* failingTypes;  // the fail event's parameter; null: no event
  bool ranFine = true;       // the success line, not the failure line
  bool rewritten = false;    // the "New json" line (always when stopping)
};

std::string stringify(const std::string& object) {
  return "JSON.stringify(" + object + ")";
}

std::string alertOf(const std::string& members) {
  return "{" + members + "\"systemRequirementURL\":\"https://req.example/sys\"}\n";
}

TEST_F(CompatibilityCheckTest, ScriptAnswersAndTheirVerdicts) {
  const AnswerCase cases[] = {
      {"success", stringify("{checkResult: 'success'}"), true, true, kUntouched, nullptr},
      {"Success", stringify("{checkResult: 'Success'}"), true, true, kUntouched, nullptr, true,
       true},
      {"warn", stringify("{checkResult: 'warn', a: 1}"), false, true,
       alertOf("\"a\":1,\"checkResult\":\"warn\","), nullptr, true, true},
      {"fail, no list", stringify("{checkResult: 'fail'}"), false, false,
       alertOf("\"checkResult\":\"fail\","), "", true, true},
      {"fail, one", stringify("{checkResult: 'fail', failingList: [{type: 'ram'}]}"), false, false,
       alertOf("\"checkResult\":\"fail\",\"failingList\":[{\"type\":\"ram\"}],"), "ram", true,
       true},
      {"fail, two", stringify("{checkResult: 'fail', failingList: [{type: 'ram'}, {type: 'os'}]}"),
       false, false,
       alertOf("\"checkResult\":\"fail\",\"failingList\":[{\"type\":\"ram\"},{\"type\":\"os\"}],"),
       "ram ,os", true, true},
      {"list is an object", stringify("{checkResult: 'fail', failingList: {type: 'ram'}}"), false,
       false, alertOf("\"checkResult\":\"fail\",\"failingList\":{\"type\":\"ram\"},"), "", true,
       true},
      {"type is an array",
       stringify("{checkResult: 'fail', failingList: [{type: ['ram']}, {type: 'os'}, 3]}"), false,
       false,
       alertOf("\"checkResult\":\"fail\",\"failingList\":[{\"type\":[\"ram\"]},{\"type\":\"os\"},"
               "3],"),
       "os", true, true},
      {"verdict not a string", stringify("{checkResult: ['fail']}"), true, true, kUntouched,
       nullptr, true, true},
      {"throws", "(function () { throw new Error('no'); })()", true, true, kUntouched, nullptr,
       false},
      {"number", "42", true, true, kUntouched, nullptr, false},
      {"false", "false", true, true, kUntouched, nullptr, false},
      {"not JSON", "'not json'", true, true, kUntouched, nullptr},
      {"JSON array", "'[\"fail\"]'", true, true, kUntouched, nullptr},
      {"JSON text", "'\"fail\"'", true, true, kUntouched, nullptr},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    events_.clear();
    make(c.answer);
    EXPECT_EQ(fetchAndCheck(), c.goOn);
    EXPECT_EQ(warn_, c.warn);
    EXPECT_EQ(alert_, c.alert);
    if (c.failingTypes) {
      ASSERT_EQ(events_.size(), 1u);
      EXPECT_EQ(events_[0].first, "lbs-compatibility-check-fail");
      EXPECT_EQ(events_[0].second,
                (std::map<std::string, std::string>{{"failing-param-type", c.failingTypes}}));
    } else {
      EXPECT_TRUE(events_.empty());
    }
    EXPECT_EQ(log_.has(pando::kLogWarn, kFailedLine), !c.ranFine);
    bool rewritten = false;
    for (const auto& record : log_.records()) {
      rewritten |= record.message.starts_with(
          "New json as a result of js execution and sys "
          "Requiremnt url: {");
    }
    EXPECT_EQ(rewritten, c.rewritten);
  }
}

TEST_F(CompatibilityCheckTest, ScriptThatDoesNotCompileLetsTheInstallationGoOn) {
  make("1");
  requirements_.script = "function checkCompatibility( {";
  EXPECT_TRUE(fetchAndCheck());
  EXPECT_EQ(alert_, kUntouched);
  EXPECT_TRUE(log_.has(pando::kLogWarn, kFailedLine));
}

TEST_F(CompatibilityCheckTest, TheScriptGetsTheClientInformationAndTheSummary) {
  make(stringify("{checkResult: 'success'}"));
  EXPECT_TRUE(fetchAndCheck());
  const std::string client = "{\"context\":\"Wend\",\"locale\":\"fr_FR\"}\n";
  EXPECT_EQ(CompatibilityCheck::clientInformation("fr_FR"), client);
  ASSERT_EQ(runner_->calls.size(), 1u);
  EXPECT_EQ(runner_->calls[0], (std::vector<std::string>{client, "{\"ram\":1}"}));
  EXPECT_TRUE(log_.has(pando::kLogInfo, "clientInfoJsonString: " + client + ":"));

  // Without a summary the script gets the empty string.
  make(stringify("{checkResult: summary === '' ? 'success' : 'fail'}"), false);
  EXPECT_TRUE(fetchAndCheck());
  EXPECT_EQ(runner_->calls.at(0).at(1), "");
  EXPECT_TRUE(log_.has(pando::kLogError, "Failed to get HardwareUtils JSON"));
}

TEST_F(CompatibilityCheckTest, RetryAfterAStopMakesTheSummaryAgainButKeepsTheScript) {
  for (const char* stop : {"warn", "fail"}) {
    SCOPED_TRACE(stop);
    make(stringify(std::string("{checkResult: JSON.parse(summary).ram < 2 ? '") + stop +
                   "' : 'success'}"));
    requirements_.scriptFetches = 0;
    EXPECT_FALSE(fetchAndCheck());
    EXPECT_TRUE(check());
    EXPECT_EQ(summary_->fetches, 2);
    EXPECT_EQ(requirements_.scriptFetches, 1);
    // A check after a pass makes no new summary.
    EXPECT_TRUE(check());
    EXPECT_EQ(summary_->fetches, 2);
  }
}

TEST_F(CompatibilityCheckTest, WithoutAScriptNothingRuns) {
  make("");
  requirements_.script.clear();
  EXPECT_TRUE(fetchAndCheck());
  EXPECT_TRUE(runner_->calls.empty());
  EXPECT_TRUE(log_.has(pando::kLogWarn, "Empty compatibilityCheckScript. Skipping check."));
}

}  // namespace
