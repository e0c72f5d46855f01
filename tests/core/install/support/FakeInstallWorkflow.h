#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/WorkflowLocks.h"
#include "core/workflow/WorkflowSteps.h"
#include "tests/core/workflow/support/PrivateLockKey.h"
#include "tests/core/workflow/support/StatePrinting.h"

namespace wendtest {

// The workflow as the install side sees it, in memory: the state block's fields, the errors
// raised, the progress shown and what was handed to the applet host or the alerts, recorded. Its
// locks are real ones keyed by a private file. Any thread.
class FakeInstallWorkflow final : public IInstallWorkflow {
 public:
  WorkflowStateBlock stateBlock() const override {
    std::lock_guard lock(mutex_);
    return block_;
  }
  WorkflowState stateCode() const override {
    return static_cast<WorkflowState>(stateBlock().stateCode);
  }
  void setStateCode(WorkflowState state) override {
    std::lock_guard lock(mutex_);
    block_.stateCode = code(state);
  }
  UIAction uiAction() const override { return static_cast<UIAction>(stateBlock().uiAction); }
  UIFlag uiFlags() const override { return static_cast<UIFlag>(stateBlock().uiFlags); }
  void setUIFlags(UIFlag flags) override {
    std::lock_guard lock(mutex_);
    block_.uiFlags = code(flags);
  }
  void setErrorCode(int status) override {
    std::lock_guard lock(mutex_);
    block_.errorCode = status;
    lastError_ = status;
  }
  // As the workflow's alerts do: blocked, the retry mode set, the block's error cleared.
  void setError(int status, bool retry) override {
    std::lock_guard lock(mutex_);
    block_.uiAction = code(UIAction::kBlocked);
    block_.retryMode = retry ? 1 : 0;
    block_.errorCode = 0;
    if (status != kStatusSuccess) lastError_ = status;
  }
  void syncState() override {}
  bool stopping() const override {
    std::lock_guard lock(mutex_);
    return stopping_;
  }
  // The workflow's rule: stored, and the mark either way; shown when above the mark before.
  void reportTarnProgress(int progress) override {
    std::lock_guard lock(mutex_);
    block_.tarnProgress = static_cast<float>(progress);
    if (progress > mark_) shown_.push_back(std::to_string(progress));
    mark_ = progress;
  }
  void releaseLocks() override { locks.release(); }
  void sendProductUserAction(const std::string& action, bool) override {
    std::lock_guard lock(mutex_);
    productActions_.push_back(action);
  }
  void handleProductInstallError(const AppsPanelProgress& record) override {
    std::lock_guard lock(mutex_);
    productErrors_.push_back(record.errorCode);
  }

  void StopWorkflow() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  int lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
  }
  // The progress values shown since the last call.
  std::vector<std::string> takeShownProgress() {
    std::lock_guard lock(mutex_);
    return std::exchange(shown_, {});
  }
  std::vector<std::string> productActions() const {
    std::lock_guard lock(mutex_);
    return productActions_;
  }
  std::vector<int> productErrors() const {
    std::lock_guard lock(mutex_);
    return productErrors_;
  }

  PrivateLockKey key;
  WorkflowLocks locks{key.path};

 private:
  mutable std::mutex mutex_;
  WorkflowStateBlock block_;                 // guarded by mutex_
  int lastError_ = 0;                        // guarded by mutex_
  bool stopping_ = false;                    // guarded by mutex_
  int mark_ = 0;                             // guarded by mutex_
  std::vector<std::string> shown_;           // guarded by mutex_
  std::vector<std::string> productActions_;  // guarded by mutex_
  std::vector<int> productErrors_;           // guarded by mutex_
};

// What an install-side part is built from: its configuration, proxy and fake workflow.
struct InstallRig {
  ConfigStore config;
  SharedProxyCredentials proxy;
  std::unique_ptr<FakeInstallWorkflow> workflow = std::make_unique<FakeInstallWorkflow>();
};

}  // namespace wendtest
