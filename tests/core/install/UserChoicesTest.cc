#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "core/install/UserChoices.h"
#include "tests/core/install/support/StepRig.h"
#include "tests/support/Environment.h"

namespace {

class FixedClock final : public pando::WallClock {
 public:
  int64_t nowMs() const override { return 1700000000123; }
};

// The privacy-notice steps 0xF01 and 0x1101 on the console user's real preferences file.
class UserChoicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WorkflowSteps steps;
    steps.choices =
        std::make_unique<UserChoices>(config_, profile_, proxy_, VisitorIdSettings{}, clock_);
    rig_.emplace(std::move(steps));
    rig_->view.answerAsPage();
    ASSERT_TRUE(PiiNoticeState::preferencesPath(path_));
  }

  wendtest::TemporaryFolder root_;
  wendtest::ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  wendtest::ScopedEnv consoleUser_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  wendtest::ScopedEnv dataHome_{"XDG_DATA_HOME", std::nullopt};
  FixedClock clock_;
  ConfigStore config_;
  wendtest::ScriptedProfile profile_;
  SharedProxyCredentials proxy_;
  std::optional<wendtest::StepRig> rig_;
  std::string path_;
};

TEST_F(UserChoicesTest, TheNoticeIsShownOnceAndThenSkipped) {
  EXPECT_EQ(rig_->walk(0xF01, 0x1201), 0x1201u);
  EXPECT_EQ(rig_->view.count("showPiiScreen"), 1);
  EXPECT_NE(wendtest::readFile(path_).find("<property key=\"piiNoticeShown\">YES</property>"),
            std::string::npos);

  rig_->view.clear();
  EXPECT_EQ(rig_->walk(0xF01, 0x1201, 1), 0x1201u);
  EXPECT_EQ(rig_->view.count("showPiiScreen"), 0);
  EXPECT_EQ(rig_->analytics->events(), std::vector<std::string>{"lbs-pii-already-accepted"});
}

}  // namespace
