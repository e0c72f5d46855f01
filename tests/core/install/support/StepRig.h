#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "tests/core/workflow/support/WorkflowRig.h"

namespace wendtest {

// A workflow of the user's process with the steps the test gives it and recording parts for the
// rest, stepped by the test's thread. Nothing links to another process.
struct StepRig {
  explicit StepRig(WorkflowSteps steps) {
    WorkflowSettings settings = WorkflowRig::fastSettings();
    settings.lockKeyPath = key.path;
    workflow = std::make_unique<WorkflowManager>(
        WorkflowContext{quitRequested, config, proxy, requiredOsVersion, false, "pipe-1", "pipe-2"},
        WorkflowCollaborators{view, gateway, profile, survey, applets,
                              [a = analytics] { return a; },
                              std::make_unique<ScriptedInstallHelper>(), std::move(steps)},
        WorkflowRole::kUser, std::move(settings));
    view.answerTo(workflow.get());
  }

  // Runs steps from `from` until the workflow reaches `to` (or `limit` steps went by); the state
  // it is in then.
  uint32_t walk(uint32_t from, uint32_t to, int limit = 10) {
    if (from) workflow->setStateCode(from);
    for (int i = 0; i < limit && workflow->stateCode() != to; ++i) {
      workflow->runStep();
      view.deliverAnswers();
    }
    return workflow->stateCode();
  }

  PrivateLockKey key;
  std::atomic<bool> quitRequested{false};
  ConfigStore config;
  SharedProxyCredentials proxy;
  std::string requiredOsVersion;
  RecordingView view;
  WorkflowRig::NoLink gateway;
  ScriptedProfile profile;
  ScriptedSurvey survey;
  ScriptedApplets applets;
  std::shared_ptr<RecordingAnalytics> analytics = std::make_shared<RecordingAnalytics>();
  std::unique_ptr<WorkflowManager> workflow;
};

}  // namespace wendtest
