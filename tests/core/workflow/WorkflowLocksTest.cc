#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/SharedSemaphore.h"
#include "tests/core/workflow/support/WorkflowRig.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/Environment.h"

namespace {

using wendtest::WorkflowRig;

constexpr int kMarlId = 0x7D026448;
constexpr int kQuarryId = 0x00856E61;

// A forked process that holds locks under the test's key until it is released or killed.
class Holder {
 public:
  // `take` runs in the child and says whether it got what it holds.
  explicit Holder(std::function<bool()> take) {
    if (pipe(ready_) != 0) return;
    pid_ = wendtest::forkChild([this, take] {
      const char got = take() ? 'y' : 'n';
      if (write(ready_[1], &got, 1) != 1) return 2;
      gate_.pass();
      return 0;
    });
    close(ready_[1]);
    char got = 'n';
    held_ = read(ready_[0], &got, 1) == 1 && got == 'y';
    close(ready_[0]);
  }
  ~Holder() { release(); }
  bool held() const { return held_; }
  void release() {
    if (pid_ <= 0) return;
    gate_.open();
    wendtest::waitChild(pid_);
    pid_ = -1;
  }
  void kill() {
    ::kill(pid_, SIGKILL);
    wendtest::waitChild(pid_);
    pid_ = -1;
  }

 private:
  wendtest::Gate gate_;
  int ready_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool held_ = false;
};

// The child runs a second installer's first step under the parent's key.
std::function<bool()> installerAt(const std::string& key) {
  return [key] {
    auto* rig = new WorkflowRig(WorkflowRole::kUser, nullptr, false, key);
    rig->workflow->setStateCode(WorkflowState::kAcquireLocks);
    rig->workflow->runStep();
    return rig->workflow->stateCode() == WorkflowState::kSystemCheck;  // kept for the child's life
  };
}

std::function<bool()> probeHeld(const std::string& key, bool marl, bool quarry) {
  return [key, marl, quarry] {
    bool ok = true;
    if (marl) ok = (new pando::ProcessSemaphore(kMarlId, key))->acquire() && ok;
    if (quarry) {
      ok = (new pando::SharedSemaphore(kQuarryId, 255, 2, key.c_str(), 0))->tryAcquire() && ok;
    }
    return ok;
  };
}

std::string shownError(const WorkflowRig& rig) {
  const auto alert = rig.view.last("showErrorAlert");
  return alert.args.empty() ? "" : alert.args[0] + " " + alert.args[1] + " " + alert.args[2];
}

// A second installer is refused; a holder killed with SIGKILL frees the lock.
TEST(WorkflowLocks, SecondInstallerIsRefusedUntilTheFirstIsKilled) {
  WorkflowRig rig(WorkflowRole::kUser);
  Holder first(installerAt(rig.key.path));
  ASSERT_TRUE(first.held());
  rig.workflow->setStateCode(WorkflowState::kAcquireLocks);
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kAcquireLocks);
  EXPECT_EQ(shownError(rig), "InitErrorAnotherInstallerRunning 0 P81");
  first.kill();
  rig.workflow->setCurrentUIAction(UIAction::kRetry);
  rig.workflow->runStep();
  EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kSystemCheck);
}

TEST(WorkflowLocks, OtherInstallerProbes) {
  const struct {
    bool marl;
    bool quarry;
    const char* alert;
  } rows[] = {
      {true, false, "InitErrorAnotherInstallerRunning 0 P81"},
      {false, true, "TarnInstallWaitOrCloseOtherInstances 1 P82"},
      {true, true, "InitErrorAnotherInstallerRunning 0 P81"},
  };
  for (const auto& row : rows) {
    WorkflowRig rig(WorkflowRole::kUser);
    Holder other(probeHeld(rig.key.path, row.marl, row.quarry));
    ASSERT_TRUE(other.held());
    rig.workflow->setStateCode(WorkflowState::kAcquireLocks);
    rig.workflow->runStep();
    EXPECT_EQ(shownError(rig), row.alert);
    // The refused installer keeps nothing: a retry after the other one ended goes through.
    other.release();
    rig.workflow->setCurrentUIAction(UIAction::kRetry);
    rig.workflow->runStep();
    EXPECT_EQ(rig.workflow->stateCode(), WorkflowState::kSystemCheck) << row.alert;
  }
}

struct SystemRow {
  const char* osVersion;
  const char* minimum;
  const char* caseSensitive;
  WorkflowState state;
  const char* alert;
};

TEST(WorkflowSystemCheck, VersionAndCaseSensitivity) {
  const SystemRow rows[] = {
      {"10.8.5", "", "", WorkflowState::kSystemCheck, "InitErrorIncompatibleOS 0 P21"},
      {"10.9.0", "10.9", "", WorkflowState::kRestoreProxyCredentials, ""},
      {"10.15.7", "", "", WorkflowState::kRestoreProxyCredentials, ""},
      {"11.0.0", "10.15.8", "", WorkflowState::kRestoreProxyCredentials, ""},
      {"10.15.7", "10.15.8", "", WorkflowState::kSystemCheck, "InitErrorIncompatibleOS 0 P21"},
      {"10.15.7", "", "/", WorkflowState::kSystemCheck, "InitErrorCaseSensitiveVolume 0 P22"},
      {"10.15.7", "", "/no/such/volume", WorkflowState::kRestoreProxyCredentials, ""},
  };
  for (const SystemRow& row : rows) {
    SCOPED_TRACE(std::string(row.osVersion) + " " + row.minimum + " " + row.caseSensitive);
    wendtest::ScopedEnv os("WEND_OS_VERSION", row.osVersion);
    wendtest::ScopedEnv volumes("WEND_CASE_SENSITIVE_VOLUMES", row.caseSensitive);
    WorkflowRig rig(WorkflowRole::kUser);
    rig.config.set("minimumOsVersion", row.minimum);
    rig.workflow->setStateCode(WorkflowState::kSystemCheck);
    rig.workflow->runStep();
    EXPECT_EQ(rig.workflow->stateCode(), row.state);
    EXPECT_EQ(shownError(rig), row.alert);
    EXPECT_EQ(rig.requiredOsVersion, *row.minimum ? row.minimum : "10.9.0");
    if (std::string(row.alert).find("P21") != std::string::npos) {
      EXPECT_EQ(rig.view.last("showErrorAlert").args[3], rig.requiredOsVersion);
    }
  }
}

}  // namespace
