#pragma once

#include <map>
#include <string>

class WorkflowManager;
struct WorkflowContext;
struct WorkflowCollaborators;

// What the UI actions change in the state block at once, under the workflow's own lock.
class IUIActionHost {
 public:
  virtual ~IUIActionHost() = default;
  // Sets UIFlag::kRetry for the install thread; the error the user saw: the block's, else the
  // last one raised.
  virtual int retryDesktopAppInstall() = 0;
  // Ends the workflow after a quit: kFinal, with the block's error, else the last one raised,
  // else kStatusCancelled.
  virtual void endAfterQuit() = 0;
  // True in a user's process whose elevated copy is gone (the link is down): nobody is left to
  // run the administrator states, the installation's install thread among them.
  virtual bool otherProcessGone() const = 0;
};

// The user's answers as the view stores them (UIAction): a proxy login or retry reruns the step,
// a quit is asked, confirmed or declined, a chosen install location is checked and handed on.
//
// Threads: the workflow thread only. The referenced parts belong to the workflow that owns this
// object and outlive it.
class WorkflowUIActions {
 public:
  WorkflowUIActions(WorkflowManager& workflow, IUIActionHost& host, WorkflowContext& context,
                    WorkflowCollaborators& parts);

  // Takes the pending action; false while the workflow is to wait (an alert blocks it, or a quit
  // is being asked).
  bool process();
  // Whether the last process() took a retry: the step that follows runs again.
  bool retried() const { return retried_; }

 private:
  bool proxyLogin();
  bool locationChosen();
  void retryCurrentStep();
  void requestQuit();
  bool quit();
  std::map<std::string, std::string> quitEventParams() const;

  WorkflowManager& workflow_;
  IUIActionHost& host_;
  WorkflowContext& context_;
  WorkflowCollaborators& parts_;
  bool retried_ = false;
};
