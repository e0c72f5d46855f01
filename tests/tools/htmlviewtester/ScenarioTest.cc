#include <gtest/gtest.h>

#include "tools/htmlviewtester/Scenario.h"

namespace htmlviewtester {
namespace {

TEST(ScenarioTest, EachStepTakesItsOperandsAndSkipsBlankAndCommentLines) {
  std::vector<Step> steps;
  std::string error;
  ASSERT_TRUE(
      parseScenario("# the test workflow\n"
                    "\n"
                    "  view idra  \r\n"
                    "timeout 0.5\n"
                    "wait main\n"
                    "wait-overlay error\n"
                    "wait-text #percent 100 %\n"
                    "click [data-overlay=quit] button.yes\n"
                    "type #user  a tester \n"
                    "snapshot\n"
                    "wait-file restored\n"
                    "wait-end\n",
                    steps, error))
      << error;
  struct Row {
    StepKind kind;
    const char* target;
    const char* text;
    int line;
  };
  const Row rows[] = {
      {StepKind::kView, "idra", "", 3},
      {StepKind::kTimeout, "0.5", "", 4},
      {StepKind::kWait, "main", "", 5},
      {StepKind::kWaitOverlay, "error", "", 6},
      {StepKind::kWaitText, "#percent", "100 %", 7},
      {StepKind::kClick, "[data-overlay=quit] button.yes", "", 8},
      {StepKind::kType, "#user", "a tester", 9},
      {StepKind::kSnapshot, "", "", 10},
      {StepKind::kWaitFile, "restored", "", 11},
      {StepKind::kWaitEnd, "", "", 12},
  };
  ASSERT_EQ(steps.size(), std::size(rows));
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].kind, rows[i].kind) << i;
    EXPECT_EQ(steps[i].target, rows[i].target) << i;
    EXPECT_EQ(steps[i].text, rows[i].text) << i;
    EXPECT_EQ(steps[i].line, rows[i].line) << i;
  }
  EXPECT_EQ(steps[1].timeoutMs, 500);
  EXPECT_EQ(steps[2].source, "wait main");
}

// Each line is the second of its scenario: the error names it, and nothing of the first is kept.
TEST(ScenarioTest, ALineThatIsNoStepRefusesTheWholeScenario) {
  const char* bad[] = {
      "press #ok",      "wait",         "wait main now", "view",        "click",       "type #user",
      "wait-text",      "snapshot now", "timeout",       "timeout 0",   "timeout -1",  "timeout x",
      "timeout 5 more", "timeout 9999", "wait-overlay",  "timeout 0,5", "timeout nan",
  };
  for (const char* line : bad) {
    std::vector<Step> steps;
    std::string error;
    EXPECT_FALSE(parseScenario(std::string("wait main\n") + line + "\n", steps, error)) << line;
    EXPECT_EQ(error, std::string("line 2 is not a step: \"") + line + "\"");
    EXPECT_TRUE(steps.empty()) << line;
  }
  std::vector<Step> steps;
  std::string error;
  EXPECT_FALSE(parseScenario("wait-end\nsnapshot\n", steps, error));
  EXPECT_EQ(error, "line 2 follows wait-end: \"snapshot\"");
}

}  // namespace
}  // namespace htmlviewtester
