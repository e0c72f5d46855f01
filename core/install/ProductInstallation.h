#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/config/ConfigStore.h"
#include "core/context/AppletRecords.h"
#include "core/context/ContextParts.h"
#include "core/install/InstallLocation.h"
#include "core/install/TarnInstallationLock.h"
#include "core/workflow/WorkflowSteps.h"

// What the product installation reads; the referenced objects outlive it.
struct ProductInstallInputs {
  IAppletMessageManager& applets;
  IViewMediator& view;
  ConfigStore& config;
  ISignInProfile& profile;  // its stored profile JSON goes to the applet host
  SharedProxyCredentials& proxy;
  std::function<std::string()> tempLocation;           // the run's temporary folder
  std::function<std::string()> installHelperPipeName;  // the first helper's, when the run starts
  std::string locale;
  std::shared_ptr<TarnInstallationLock> installLock;
  // What the check of the folder the user retries with asks of the system.
  InstallLocationProbe locationProbe = systemInstallLocationProbe();
};

// The products, installed through the applet host. The kStartProductInstall step starts a thread
// that gives back the bootstrapper and installer-family locks, takes the desktop application's
// installation lock and starts the applet workflow; the applet host then reports through a
// callback, which moves the workflow from kProductInstall to kLaunch or raises the
// product-install alert.
//
// Threads: start and join on the workflow thread (or the thread that tears the workflow down).
// The callback runs on the applet host's thread; it reaches the workflow of the one installation
// that started the applet workflow, and none once joinProductInstallThread or the destructor has
// returned. Reports outside kProductInstall are ignored.
class ProductInstallation final : public IProductInstall {
 public:
  explicit ProductInstallation(ProductInstallInputs inputs);
  ~ProductInstallation() override;
  ProductInstallation(const ProductInstallation&) = delete;
  ProductInstallation& operator=(const ProductInstallation&) = delete;

  // False when the thread cannot be created; true, starting nothing, while it runs.
  bool startProductInstallWorkflow(IInstallWorkflow& workflow) override;
  // Joins the thread and stops the callback from reaching the workflow.
  void joinProductInstallThread() override;
  // "" for an empty location or one that may take the products, else the check's error number.
  // Any thread.
  std::string validateInstallLocation(const std::string& location) override;

  // The applet host's progress callback; always 0.
  static int updateProductProgressCallbackProc(AppsPanelProgress* progress);

 private:
  void productInstallThreadProc();
  void onProgress(const AppsPanelProgress& record);
  void detach();

  ProductInstallInputs inputs_;
  IInstallWorkflow* workflow_ = nullptr;  // set before the thread starts
  std::atomic<bool> running_{false};
  std::atomic<float> lastProgress_{0};
  std::mutex threadMutex_;
  std::thread thread_;  // guarded by threadMutex_
};
