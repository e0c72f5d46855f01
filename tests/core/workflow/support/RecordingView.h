#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/context/ContextParts.h"
#include "core/workflow/WorkflowManager.h"

namespace wendtest {

// One view command as the view received it: its name and its arguments as text.
struct ViewCall {
  std::string name;
  std::vector<std::string> args;
};

// A view that records every command and answers the ones the page answers, the way the page's
// messages reach the workflow through the dispatcher: later, once the workflow waits in the state
// the page was shown in. deliverAnswers hands over what is due; the test's thread calls it.
// Any thread.
class RecordingView final : public IViewMediator {
 public:
  using Answer = std::function<void(WorkflowManager&)>;
  static constexpr uint32_t kAnyState = 0;

  // The workflow the answers go to; set before it starts.
  void answerTo(WorkflowManager* workflow) { workflow_ = workflow; }
  // After `command`, once the workflow is in `whenState` (or at once with kAnyState), `reply`
  // runs. An empty reply removes the answer.
  void answer(const std::string& command, uint32_t whenState, Answer reply) {
    std::lock_guard lock(mutex_);
    answers_[command] = {whenState, std::move(reply)};
  }
  // The page's usual answers: sign in from the welcome screen, finish the sign-in, the survey and
  // the privacy notice.
  void answerAsPage() {
    const auto moveTo = [](WorkflowState next) {
      return [next](WorkflowManager& w) { w.setStateCode(next); };
    };
    answer("showWelcomeScreen", code(WorkflowState::kWelcome), moveTo(WorkflowState::kSignIn));
    answer("showSignInView", code(WorkflowState::kSignInPage), moveTo(WorkflowState::kDeviceToken));
    answer("showSurveyScreen", code(WorkflowState::kSurvey), moveTo(WorkflowState::kSurveyResults));
    answer("showPiiScreen", code(WorkflowState::kPrivacyNotice),
           moveTo(WorkflowState::kPrivacyNoticeAccepted));
  }
  // Runs the answers that are due; the number run.
  int deliverAnswers() {
    std::vector<Answer> due;
    {
      std::lock_guard lock(mutex_);
      if (!workflow_) return 0;
      const uint32_t state = code(workflow_->stateCode());
      for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->first == kAnyState || it->first == state) {
          due.push_back(std::move(it->second));
          it = pending_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (Answer& reply : due) reply(*workflow_);
    return static_cast<int>(due.size());
  }

  std::vector<ViewCall> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const ViewCall& call : calls()) out.push_back(call.name);
    return out;
  }
  int count(const std::string& name) const {
    const auto all = names();
    return static_cast<int>(std::count(all.begin(), all.end(), name));
  }
  // The last call of that name; an empty call when there was none.
  ViewCall last(const std::string& name) const {
    const auto all = calls();
    const auto found = std::find_if(all.rbegin(), all.rend(),
                                    [&](const ViewCall& call) { return call.name == name; });
    return found == all.rend() ? ViewCall{} : *found;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

  void sendMessageToView(const std::string& name, const std::string& data) override {
    record("sendMessageToView", {name, data});
  }
  void onMessageFromView(const std::string& name, const std::string& data) override {
    record("onMessageFromView", {name, data});
  }
  void terminateApplication() override { record("terminateApplication", {}); }
  void showSignInView() override { record("showSignInView", {}); }
  void hideMainWindow() override { record("hideMainWindow", {}); }
  void setProxyCredentials(const std::string& user, const std::string& password) override {
    record("setProxyCredentials", {user, password});
  }
  void showSpinnerScreen() override { record("showSpinnerScreen", {}); }
  void showWelcomeScreen(const std::string& data) override { record("showWelcomeScreen", {data}); }
  void showSurveyScreen(int filled) override {
    record("showSurveyScreen", {std::to_string(filled)});
  }
  void showPiiScreen() override { record("showPiiScreen", {}); }
  void showMainScreen() override { record("showMainScreen", {}); }
  void showErrorAlert(const std::string& type, int mode, const std::string& code,
                      const std::string& param, const std::string& title, const std::string& link,
                      bool append) override {
    record("showErrorAlert", {type, std::to_string(mode), code, param, title, link, flag(append)});
  }
  void showPathErrorAlert(const std::string& title, const std::string& text,
                          const std::string& location, bool incorrect,
                          const std::string& param) override {
    record("showPathErrorAlert", {title, text, location, flag(incorrect), param});
  }
  void showCompatibilityErrorAlert(const std::string& data) override {
    record("showCompatibilityErrorAlert", {data});
  }
  void showProxyAlert() override { record("showProxyAlert", {}); }
  void updateTarnProgress(int progress, bool cancel) override {
    record("updateTarnProgress", {std::to_string(progress), flag(cancel)});
  }
  void updateProductProgress(int progress) override {
    record("updateProductProgress", {std::to_string(progress)});
  }
  void updateTarnInstallWeightage(const std::string& size) override {
    record("updateTarnInstallWeightage", {size});
  }
  void updateCancelButtonState(bool enabled) override {
    record("updateCancelButtonState", {flag(enabled)});
  }
  void showQuitConfirmation() override { record("showQuitConfirmation", {}); }
  void showQuittingScreen() override { record("showQuittingScreen", {}); }
  void showLaunchingProductScreen() override { record("showLaunchingProductScreen", {}); }

 private:
  static std::string flag(bool on) { return on ? "true" : "false"; }
  void record(const std::string& name, std::vector<std::string> args) {
    std::lock_guard lock(mutex_);
    calls_.push_back({name, std::move(args)});
    if (auto found = answers_.find(name); found != answers_.end() && found->second.second) {
      pending_.push_back(found->second);
    }
  }

  WorkflowManager* workflow_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<ViewCall> calls_;                                 // guarded by mutex_
  std::map<std::string, std::pair<uint32_t, Answer>> answers_;  // guarded by mutex_
  std::vector<std::pair<uint32_t, Answer>> pending_;            // guarded by mutex_
};

}  // namespace wendtest
