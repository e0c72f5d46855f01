#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "core/install/PiiNoticeState.h"
#include "core/install/UserChoices.h"
#include "foundation/logging/LogCallback.h"
#include "tests/core/install/support/StepRig.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using wendtest::existsNoFollow;
using wendtest::readFile;
using wendtest::writeFile;

class FixedClock final : public pando::WallClock {
 public:
  int64_t nowMs() const override { return 1700000000123; }
};

std::string fixture() {
  return readFile(WEND_SOURCE_DIR "/tests/core/install/fixtures/com.orvel.pii.prefs");
}

class PiiNoticeStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tzset();
    ASSERT_TRUE(PiiNoticeState::preferencesPath(path_));
    folder_ = path_.substr(0, path_.rfind('/'));
    orvel_ = folder_.substr(0, folder_.rfind('/'));
    setApplicationLogger(&log_);
  }
  void TearDown() override {
    setApplicationLogger(nullptr);
    tzset();
  }

  void makeFolders() const {
    mkdir(orvel_.c_str(), 0700);
    mkdir(folder_.c_str(), 0700);
  }

  wendtest::TemporaryFolder root_;
  wendtest::TemporaryFolder outside_;
  wendtest::ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  wendtest::ScopedEnv consoleUser_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  wendtest::ScopedEnv dataHome_{"XDG_DATA_HOME", std::nullopt};
  wendtest::ScopedEnv timeZone_{"TZ", "UTC"};
  FixedClock clock_;
  PiiNoticeState state_{clock_};
  wendtest::CapturingLogger log_;
  std::string path_, folder_, orvel_;
};

TEST_F(PiiNoticeStateTest, ShownOnlyWhenTheFileSaysYes) {
  EXPECT_FALSE(state_.isPiiNoticeAlreadyShown());
  makeFolders();
  struct Case {
    std::string text;
    bool shown;
  };
  for (const Case& c : {
           Case{PiiNoticeState::preferencesText("2020-01-01 00:00:00"), true},
           Case{"<prefs><property key='piiNoticeShown'>yes</property></prefs>", true},
           Case{"<prefs><property key='piiNoticeShown'>NO</property></prefs>", false},
           Case{"<prefs><property key='other'>YES</property></prefs>", false},
           Case{"<prefs><property key='piiNoticeShown'>YES</property>", false},
           Case{std::string(70 * 1024, ' ') + "<prefs><property key='piiNoticeShown'>YES"
                                              "</property></prefs>",
                false},
       }) {
    SCOPED_TRACE(c.text.substr(0, 80));
    writeFile(path_, c.text);
    EXPECT_EQ(state_.isPiiNoticeAlreadyShown(), c.shown);
  }
  unlink(path_.c_str());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_FALSE(state_.isPiiNoticeAlreadyShown());
}

// Saving writes the fixture's bytes, also over an older file or in place of a folder, which
// the check itself removes too.
TEST_F(PiiNoticeStateTest, SavingWritesTheFileWholeForTheConsoleUser) {
  state_.savePiiNoticeShown();
  EXPECT_EQ(readFile(path_), fixture());
  EXPECT_EQ(wendtest::statOf(path_).st_mode & 07777, 0644u);
  EXPECT_EQ(wendtest::statOf(folder_).st_mode & 07777, 0700u);
  EXPECT_TRUE(state_.isPiiNoticeAlreadyShown());

  for (bool check : {true, false}) {
    unlink(path_.c_str());
    mkdir(path_.c_str(), 0700);
    writeFile(path_ + "/inside", "x");
    if (check) {
      EXPECT_FALSE(state_.isPiiNoticeAlreadyShown());
      EXPECT_FALSE(existsNoFollow(path_));
    }
    state_.savePiiNoticeShown();
    EXPECT_EQ(readFile(path_), fixture());
  }
}

// A link planted at the file's name, or in place of one of its folders, leads nowhere: the link
// goes, and the folder it pointed to keeps its files.
TEST_F(PiiNoticeStateTest, LinksAreRemovedNeverFollowed) {
  writeFile(outside_ / "keep", "kept");
  makeFolders();
  for (bool save : {false, true}) {
    SCOPED_TRACE(save);
    ASSERT_EQ(symlink(outside_.path().c_str(), path_.c_str()), 0);
    if (save) {
      state_.savePiiNoticeShown();
      EXPECT_EQ(readFile(path_), fixture());
    } else {
      EXPECT_FALSE(state_.isPiiNoticeAlreadyShown());
      EXPECT_FALSE(existsNoFollow(path_));
    }
    EXPECT_EQ(readFile(outside_ / "keep"), "kept");
    unlink(path_.c_str());
  }

  rmdir(folder_.c_str());
  rmdir(orvel_.c_str());
  mkdir((outside_ / "PII").c_str(), 0700);
  writeFile(outside_ / "PII/com.orvel.pii.prefs", PiiNoticeState::preferencesText("x"));
  ASSERT_EQ(symlink(outside_.path().c_str(), orvel_.c_str()), 0);
  EXPECT_FALSE(state_.isPiiNoticeAlreadyShown());
  state_.savePiiNoticeShown();
  EXPECT_TRUE(log_.has(pando::kLogError, "Save PII failed - File: " + path_));
  EXPECT_EQ(readFile(outside_ / "PII/com.orvel.pii.prefs"), PiiNoticeState::preferencesText("x"));
}

// The privacy-notice steps code(WorkflowState::kPrivacyNoticeCheck) and
// code(WorkflowState::kPrivacyNoticeAccepted) on the same file.
TEST_F(PiiNoticeStateTest, TheNoticeStepIsShownOnceAndThenSkipped) {
  ConfigStore config;
  wendtest::ScriptedProfile profile;
  SharedProxyCredentials proxy;
  WorkflowSteps steps;
  steps.choices =
      std::make_unique<UserChoices>(config, profile, proxy, VisitorIdSettings{}, clock_);
  wendtest::StepRig rig(std::move(steps));
  rig.view.answerAsPage();
  EXPECT_EQ(rig.walk(code(WorkflowState::kPrivacyNoticeCheck), code(WorkflowState::kMainScreen)),
            code(WorkflowState::kMainScreen));
  EXPECT_EQ(rig.view.count("showPiiScreen"), 1);
  EXPECT_EQ(readFile(path_), fixture());

  rig.view.clear();
  EXPECT_EQ(rig.walk(code(WorkflowState::kPrivacyNoticeCheck), code(WorkflowState::kMainScreen), 1),
            code(WorkflowState::kMainScreen));
  EXPECT_EQ(rig.view.count("showPiiScreen"), 0);
  EXPECT_EQ(rig.analytics->events(), std::vector<std::string>{"lbs-pii-already-accepted"});
}

}  // namespace
