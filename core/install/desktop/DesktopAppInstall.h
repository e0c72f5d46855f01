#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "core/install/OrvelPim.h"
#include "core/install/desktop/AssetDownloader.h"
#include "core/install/desktop/PimLibrary.h"
#include "core/workflow/WorkflowSteps.h"
#include "download/pdm/PDMTypes.h"
#include "foundation/threads/ThreadHandle.h"

namespace pando {
class AbstractLogger;
}

// What the installation needs from the rest of the process. The references outlive the object.
struct DesktopAppInputs {
  DesktopAppInputs(ConfigStore& configStore, SharedProxyCredentials& proxy,
                   std::atomic<bool>& quitting, PimLibraryFolders libraryFolders)
      : config(configStore),
        proxyCredentials(proxy),
        quitRequested(quitting),
        folders(std::move(libraryFolders)) {}

  ConfigStore& config;
  SharedProxyCredentials& proxyCredentials;
  std::atomic<bool>& quitRequested;
  PimLibraryFolders folders;
  std::function<std::shared_ptr<IAnalytics>()> analytics;  // may be null, or give null
  pando::AbstractLogger* logger = nullptr;                 // for the download manager
  std::chrono::milliseconds poll{100};
  orvel::PackageDownloadManager::PDMSettings manager;
};

// The desktop application's installation in the administrator process: the applications
// document, the installer library and the install thread that runs it. The library's progress
// callback turns its records into workflow state, view updates and analytics events, and answers
// the user's pause, resume, cancel and retry (the workflow's UIFlag values). Once the process
// quits or the workflow stops it cancels whatever can be cancelled, so that the install thread
// ends and joinInstallThread returns; that cancel leaves the state as it was and sends nothing,
// as it is no answer of the user's.
//
// Threads: the steps on the workflow thread; installThreadProc on the install thread, the
// callback on the library's thread while pim_startWorkflow runs. One installation per process
// at a time (the library's callback carries no context). Destroying the object joins the install
// thread and unloads the library.
class DesktopAppInstall final : public IDesktopAppInstall {
 public:
  explicit DesktopAppInstall(DesktopAppInputs inputs);
  ~DesktopAppInstall() override;

  bool downloadApplicationsDocument(IInstallWorkflow& workflow, std::string& path) override;
  bool readApplicationsDocument(const std::string& path, TarnApplication& out) override;
  bool acquireInstallerLibrary(IInstallWorkflow& workflow,
                               const TarnApplication& application) override;
  bool startInstallWorkflow(IInstallWorkflow& workflow) override;
  void joinInstallThread() override;
  std::string codeToText(int code) override;

  // The callback's rules for one record; public for the tests that drive it without a library.
  int onProgress(IInstallWorkflow& workflow, PimProgress* record);
  // The install thread's body, on the calling thread.
  void installThreadProc(IInstallWorkflow& workflow);

 private:
  static int progressCallback(PimProgress* record);
  static void* threadEntry(void* self);
  std::shared_ptr<IAnalytics> analytics() const;
  // The process quits or the workflow stops: the end of this process, not a user's answer.
  bool processEnding(const IInstallWorkflow& workflow) const;
  AssetDownloaderInputs downloaderInputs(IInstallWorkflow& workflow) const;
  void sendDownloadFatalError(const PimProgress& record);
  // The user's pause, resume, cancel or retry, when the workflow's flags carry one.
  std::optional<int> answerUserCommand(IInstallWorkflow& workflow, PimProgress& record,
                                       bool pausable);
  // Hands the library the user's proxy credentials for its retry.
  void handProxyTo(PimProgress& record);
  // The download's start and end; true when the record is answered by that alone.
  bool reportDownloadEvent(IInstallWorkflow& workflow, const PimProgress& record);
  int raiseRecordError(IInstallWorkflow& workflow, const PimProgress& record);

  DesktopAppInputs inputs_;
  TarnApplication application_;  // copied at the library step, read by the install thread
  std::unique_ptr<PimLibrary> library_;
  IInstallWorkflow* workflow_ = nullptr;  // the install thread's workflow

  std::mutex proxyMutex_;
  // Proxy texts handed to the library, kept until pim_startWorkflow returns.
  std::list<std::string> proxyTexts_;  // guarded by proxyMutex_

  std::mutex threadMutex_;
  pando::ThreadHandle thread_;  // guarded by threadMutex_
  std::atomic<bool> running_{false};
};
