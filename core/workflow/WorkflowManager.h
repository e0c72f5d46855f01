#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/config/ConfigStore.h"
#include "core/context/AppletRecords.h"
#include "core/context/ContextParts.h"
#include "core/workflow/WorkflowBlocks.h"
#include "core/workflow/WorkflowLocks.h"
#include "core/workflow/WorkflowStepRunner.h"
#include "core/workflow/WorkflowSteps.h"
#include "core/workflow/WorkflowUIActions.h"
#include "foundation/threads/ProcessSemaphore.h"
#include "foundation/threads/ThreadHandle.h"

// Which process a workflow runs in: the user's (without administrator rights; its elevated copy
// runs the administrator states), the elevated silent copy, or a user's process with
// administrator rights, which runs every state itself and has nobody to mirror to.
enum class WorkflowRole { kUser, kSilent, kAdministrator };

// Fixed waits and the lock key; tests shorten the waits and pass a private key file.
struct WorkflowSettings {
  std::chrono::milliseconds tick{50};
  std::chrono::milliseconds launchPause{5000};
  std::chrono::milliseconds launchWait{10000};
  std::chrono::milliseconds launchWaitLong{20000};  // sapCode "KVRQ"
  // The file the System V locks are keyed by: "/tmp" in the product.
  std::string lockKeyPath = pando::ProcessSemaphore::kKeyPath;
  std::string caseCheckRoot = "/";  // the root folder whose volume must not be case-sensitive
};

// What the workflow shares with the rest of its process. The referenced objects outlive it.
struct WorkflowContext {
  std::atomic<bool>& quitRequested;  // set by the final states; ends the workflow thread
  ConfigStore& config;
  SharedProxyCredentials& proxyCredentials;
  std::string& requiredOsVersion;  // written by the system check, on the workflow thread
  bool isTestWorkflow = false;
  // Read when the helpers start: the elevated copy adopts the user's names after it is built.
  SharedInstallHelperChannels& installHelperChannels;
};

// The parts the workflow calls. The view, gateway, profile, survey and applet host outlive it;
// analytics is asked for each event (null once the process tears it down).
struct WorkflowCollaborators {
  IViewMediator& view;
  IMessageGateway& gateway;
  ISignInProfile& profile;
  ISurveyManager& survey;
  IAppletMessageManager& applets;
  std::function<std::shared_ptr<IAnalytics>()> analytics;
  std::unique_ptr<IInstallHelper> installHelper;
  WorkflowSteps steps;

  // The analytics of the moment; null when there is none.
  std::shared_ptr<IAnalytics> analyticsNow() const { return analytics ? analytics() : nullptr; }
};

// The installer's step machine: carries one installation through its states, one step per tick
// on a workflow thread of its own, and mirrors its state block to the other process. It owns the
// parts that do the work: the step handlers (WorkflowStepRunner), the locks and system check
// (WorkflowLocks), the user's answers and the quit (WorkflowUIActions); the alert texts come
// from WorkflowAlerts.
//
// Threads: the view dispatcher, the gateway's worker, the install threads and their callbacks call
// the setters, setError, the alerts and the packet handlers from their own threads. One mutex
// guards both blocks, their last-sent copies, the last error and the install location; it is never
// held over a view command, a send or a step. Each block's send lock is held over its send, so
// syncs of one block go out one at a time. The destructor joins the workflow thread, then
// the install thread and the product-install thread.
class WorkflowManager final : public IWorkflowPackets,
                              public IInstallWorkflow,
                              private IStepHost,
                              private IUIActionHost {
 public:
  WorkflowManager(WorkflowContext context, WorkflowCollaborators parts, WorkflowRole role,
                  WorkflowSettings settings = {});
  ~WorkflowManager() override;
  WorkflowManager(const WorkflowManager&) = delete;
  WorkflowManager& operator=(const WorkflowManager&) = delete;

  // Starts at kAcquireLocks (kFirstScreen in the test workflow), or where a state packet received
  // before put it, on the workflow thread; true when it runs. A second call starts nothing and
  // returns true.
  bool StartWorkflow();
  // Ends the workflow thread at its next tick and joins it, then joins the install thread and the
  // product-install thread, which its last step may have started. Idempotent; not from those
  // threads.
  void StopWorkflow();
  // One step. The workflow thread calls it every tick; tests may call it instead.
  void runStep();
  // True from StopWorkflow until the next StartWorkflow. Any thread.
  bool stopping() const override;

  // The user's answer, read at the next step. Not sent.
  void setCurrentUIAction(UIAction action);
  UIAction uiAction() const override;

  // Errors and alerts: each sets UIAction::kBlocked, shows its alert and sends the state block.
  void setError(int error, bool retry) override;
  void showErrorAlertAndWait(const std::string& errorType, int mode, const std::string& errorCode,
                             const std::string& errorParam, const std::string& errorTitle,
                             const std::string& moreInfoLink, bool appendParamsAtEnd);
  void handleProductInstallError(const AppsPanelProgress& record) override;
  void showPathErrorAlert(const std::string& titleId, const std::string& textId,
                          const std::string& location, bool incorrectLocation,
                          const std::string& errorParam);
  static void getInstallLocationErrorIds(const std::string& error, std::string& titleId,
                                         std::string& textId);

  // Mirroring: sends a block when it differs from its last-sent copy; a received block replaces
  // the block and its copy, so it is not echoed.
  void syncState() override;
  void syncProgressEstimate();
  bool onProgressStatePacket(const std::string& text) override;
  bool onProductProgressStatePacket(const std::string& text) override;

  // The progress rule of the desktop application: shown when above what was shown before.
  void showTarnProgress(float progress);
  // The installer library's progress rule: the value is stored and becomes the mark either way;
  // shown when above the mark before, so a rise after a drop is shown again.
  void reportTarnProgress(int progress) override;

  // Fields other parts write and read directly. Not sent until the next syncState.
  WorkflowStateBlock stateBlock() const override;
  ProgressEstimateBlock progressEstimate() const;
  WorkflowState stateCode() const override;
  void setStateCode(WorkflowState state) override;
  void setScreenId(ScreenId screen);
  UIFlag uiFlags() const override;
  void setUIFlags(UIFlag flags) override;
  void setErrorCode(int error) override;
  void setQuitConfirmed(bool confirmed);
  void setCloseOverride(bool override);
  void setProgressEstimate(const ProgressEstimateBlock& estimate);
  void setInstallLocation(const std::string& location);
  std::string installLocation() const;
  // The last error number raised, which the alerts do not keep; 0 before any, and again once a
  // retry got past it (a retried step went on, or setErrorCode(0) said the work goes on).
  int lastError() const;
  WorkflowRole role() const { return role_; }
  // Hands the running product installation an action with the proxy and, when wanted, location.
  void sendProductUserAction(const std::string& action, bool withLocation) override;
  // Gives back the bootstrapper and installer-family locks and empties their slots, so a second
  // call releases nothing. The workflow thread, or the product-install thread while the workflow
  // waits for it in kProductInstall.
  void releaseLocks() override;

 private:
  static void* threadEntry(void* self);
  void workflowThreadProc();
  // IStepHost
  bool pause(std::chrono::milliseconds duration) override;
  bool quitPending() const override;
  void blockForAlert(int retryMode) override;
  // Waits until `duration` has passed (true) or `ends` holds (false), asked under mutex_.
  bool waitUnless(std::chrono::milliseconds duration, bool (WorkflowManager::*ends)() const);
  // With mutex_ held: a stop or the process's quit, which end the workflow thread; and those or
  // a quit the page asked for that no step has taken yet.
  bool endingLocked() const;
  bool quitPendingLocked() const;

  // IUIActionHost
  int retryDesktopAppInstall() override;
  void endAfterQuit() override;
  bool otherProcessGone() const override;
  // Runs in a process that cannot: a user's process without its elevated copy alerts once.
  void waitForAdministrator();

  WorkflowContext context_;
  WorkflowCollaborators parts_;
  const WorkflowRole role_;
  const WorkflowSettings settings_;

  // Held over a block's snapshot and its send, so that blocks leave in the order they were taken;
  // taken before mutex_.
  std::mutex stateSendMutex_;
  std::mutex estimateSendMutex_;
  mutable std::mutex mutex_;
  WorkflowStateBlock block_;                // guarded by mutex_
  ProgressEstimateBlock estimate_;          // guarded by mutex_
  WorkflowStateBlock lastSentBlock_;        // guarded by mutex_
  ProgressEstimateBlock lastSentEstimate_;  // guarded by mutex_
  int lastError_ = 0;                       // guarded by mutex_
  std::string installLocation_;             // guarded by mutex_
  std::condition_variable wake_;            // with mutex_: a stop, an action or a received block
  bool stopping_ = false;                   // guarded by mutex_

  // Workflow thread only.
  bool deadLinkRaised_ = false;
  // Also the product-install thread's, see releaseLocks.
  WorkflowLocks locks_;
  WorkflowStepRunner steps_;   // workflow thread only
  WorkflowUIActions actions_;  // workflow thread only

  std::mutex threadMutex_;  // StartWorkflow and StopWorkflow
  pando::ThreadHandle workflowThread_;
};
