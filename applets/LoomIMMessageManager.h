#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "applets/AppletHostSettings.h"
#include "applets/ProductInstallRun.h"
#include "applets/WorkflowControl.h"
#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "download/engine/DownloadLibrary.h"

// The applet host's message manager, in process: StartWorkflow installs the products that the
// product service lists for the configuration on one workflow thread (ProductInstallRun.h), which
// is the only thread that runs the start record's callback.
//
// Threads: every operation may be called from any of the core's threads, apart from FinalizeCore
// and the destructor, which must not run inside the callback. StartWorkflow copies every text of
// the record, so the caller may free them once it returns. FinalizeCore and the destructor stop
// any download, wake a wait for the user's answer and join the thread; no callback runs after
// they return.
class LoomIMMessageManager final : public IAppletMessageManager {
 public:
  explicit LoomIMMessageManager(applets::AppletHostSettings settings = {});
  ~LoomIMMessageManager() override;
  LoomIMMessageManager(const LoomIMMessageManager&) = delete;
  LoomIMMessageManager& operator=(const LoomIMMessageManager&) = delete;

  // 1 when the record, its callback or its temp folder is missing, the "<config/>" text does not
  // load, the download engine cannot be opened, or a workflow still runs; else 0.
  int StartWorkflow(const ProductInstallArgs* args) override;
  // "retry" after a reported error runs the failed step again; "cancel" stops the installation,
  // a running download included, and reports code 205. Proxy credentials in the record replace
  // the run's. Other actions are ignored.
  void HandleUserAction(const AppletUserAction* action) override;
  // The desktop application's executable, where the installer core launches it.
  void GetProductInfo(AppletProductInfo& info) override;
  // Always 0.
  int FinalizeCore() override;

 private:
  const applets::AppletHostSettings settings_;
  applets::WorkflowControl control_;
  std::mutex mutex_;  // serialises starting and joining the workflow thread
  std::atomic<bool> running_{false};
  std::thread thread_;                               // guarded by mutex_
  gde::DLELibRef* library_ = nullptr;                // guarded by mutex_
  ConfigStore config_;                               // rebuilt while no workflow thread runs
  std::unique_ptr<applets::ProductInstallRun> run_;  // guarded by mutex_
};
