#pragma once

#include <chrono>
#include <string>

#include "core/workflow/WorkflowBlocks.h"
#include "core/workflow/WorkflowSteps.h"

class WorkflowManager;
class WorkflowLocks;
struct WorkflowContext;
struct WorkflowCollaborators;
struct WorkflowSettings;
enum class WorkflowRole;

// What a step needs of its workflow beyond the workflow's public face.
class IStepHost {
 public:
  virtual ~IStepHost() = default;
  // Waits, ending early with false when a quit is pending (see quitPending): the step then
  // returns and leaves the quit to the next tick.
  virtual bool pause(std::chrono::milliseconds duration) = 0;
  // A stop, the process's quit, or a quit the page asked for that no step has taken yet.
  virtual bool quitPending() const = 0;
  // Blocks the workflow behind an alert with this retry mode, the block's error cleared.
  virtual void blockForAlert(int retryMode) = 0;
};

// The step of each state that runs one: a table of named handlers keyed by state. A state
// without a handler (one that waits for the user or a thread) does nothing.
//
// Threads: the workflow thread only. The referenced parts belong to the workflow that owns the
// runner and outlive it.
class WorkflowStepRunner {
 public:
  struct Parts {
    WorkflowManager& workflow;
    IStepHost& host;
    WorkflowContext& context;
    WorkflowCollaborators& parts;
    WorkflowRole role;
    const WorkflowSettings& settings;
    WorkflowLocks& locks;
  };
  explicit WorkflowStepRunner(Parts parts);

  void run(WorkflowState state);
  // Whether the state has a step of its own to run.
  static bool hasStep(WorkflowState state) { return handlerOf(state) != nullptr; }

 private:
  using Handler = void (WorkflowStepRunner::*)();
  static Handler handlerOf(WorkflowState state);
  enum class Link { kReady, kWait, kDead };
  Link peerLink() const;
  void event(const char* name);
  // False when a quit cut the launch short; a launch that failed otherwise is logged and passed.
  bool launchHelper(const std::string& reinitName, const char* failure);

  void acquireLocks();
  void systemCheck();
  void restoreProxyCredentials();
  void networkCheck();
  void compatibilityCheck();
  void firstScreen();
  void signIn();
  void deviceToken();
  void surveyCheck();
  void surveyResults();
  void privacyNoticeCheck();
  void privacyNoticeAccepted();
  void mainScreen();
  void applicationsDocument();
  void installerLibrary();
  void startDesktopAppInstall();
  void desktopAppInstalled();
  void helperHandshake();
  void startProductInstall();
  void launch();
  void finish();

  WorkflowManager& workflow_;
  IStepHost& host_;
  WorkflowContext& context_;
  WorkflowCollaborators& parts_;
  const WorkflowRole role_;
  const WorkflowSettings& settings_;
  WorkflowLocks& locks_;

  // How far the steps that a quit can cut short got, so that after a declined quit they go on
  // from there: a helper is not launched twice, nor the desktop application.
  enum class LaunchStage { kNotBegun, kPausing, kStarted };
  bool firstHelperLaunched_ = false;
  LaunchStage launchStage_ = LaunchStage::kNotBegun;

  TarnApplication application_;
  std::string applicationsDocumentPath_;
  bool appletWorkflowStarted_ = false;
};
