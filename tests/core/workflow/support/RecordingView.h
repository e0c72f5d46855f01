#pragma once

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

// A view that records every command and answers the ones the page answers, on the caller's thread,
// the way the page's messages reach the workflow through the dispatcher. Any thread.
class RecordingView final : public IViewMediator {
 public:
  using Answer = std::function<void(WorkflowManager&)>;

  // The workflow the answers go to; set before it starts.
  void answerTo(WorkflowManager* workflow) { workflow_ = workflow; }
  // Replaces (or with an empty function removes) the answer to `command`.
  void answer(const std::string& command, Answer reply) {
    std::lock_guard lock(mutex_);
    answers_[command] = std::move(reply);
  }
  // The page's usual answers: sign in from the welcome screen, finish the sign-in, the survey and
  // the privacy notice.
  void answerAsPage() {
    answer("showWelcomeScreen", [](WorkflowManager& w) { w.setStateCode(0x801); });
    answer("showSignInView", [](WorkflowManager& w) {
      if (w.stateCode() == 0x905) w.setStateCode(0xB01);
    });
    answer("showSurveyScreen", [](WorkflowManager& w) { w.setStateCode(0xE01); });
    answer("showPiiScreen", [](WorkflowManager& w) { w.setStateCode(0x1101); });
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
    int n = 0;
    for (const ViewCall& call : calls()) n += call.name == name;
    return n;
  }
  // The last call of that name; an empty call when there was none.
  ViewCall last(const std::string& name) const {
    ViewCall found;
    for (const ViewCall& call : calls()) {
      if (call.name == name) found = call;
    }
    return found;
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
    record("showErrorAlert",
           {type, std::to_string(mode), code, param, title, link, append ? "true" : "false"});
  }
  void showPathErrorAlert(const std::string& title, const std::string& text,
                          const std::string& location, bool incorrect,
                          const std::string& param) override {
    record("showPathErrorAlert", {title, text, location, incorrect ? "true" : "false", param});
  }
  void showCompatibilityErrorAlert(const std::string& data) override {
    record("showCompatibilityErrorAlert", {data});
  }
  void showProxyAlert() override { record("showProxyAlert", {}); }
  void updateTarnProgress(int progress, bool cancel) override {
    record("updateTarnProgress", {std::to_string(progress), cancel ? "true" : "false"});
  }
  void updateProductProgress(int progress) override {
    record("updateProductProgress", {std::to_string(progress)});
  }
  void updateTarnInstallWeightage(const std::string& size) override {
    record("updateTarnInstallWeightage", {size});
  }
  void updateCancelButtonState(bool enabled) override {
    record("updateCancelButtonState", {enabled ? "true" : "false"});
  }
  void showQuitConfirmation() override { record("showQuitConfirmation", {}); }
  void showQuittingScreen() override { record("showQuittingScreen", {}); }
  void showLaunchingProductScreen() override { record("showLaunchingProductScreen", {}); }

 private:
  void record(const std::string& name, std::vector<std::string> args) {
    Answer reply;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({name, std::move(args)});
      if (auto found = answers_.find(name); found != answers_.end()) reply = found->second;
    }
    if (reply && workflow_) reply(*workflow_);
  }

  WorkflowManager* workflow_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<ViewCall> calls_;            // guarded by mutex_
  std::map<std::string, Answer> answers_;  // guarded by mutex_
};

}  // namespace wendtest
