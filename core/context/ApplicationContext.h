#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/compat/CompatibilityCheck.h"
#include "core/config/ConfigStore.h"
#include "core/context/ContextParts.h"
#include "core/install/DesktopAppLaunch.h"
#include "core/install/ProductsData.h"
#include "core/signature/ConfigSigningKey.h"
#include "core/workflow/WorkflowManager.h"
#include "foundation/text/CommandLineParser.h"
#include "platform/UniqueFd.h"

namespace pando {
class Logger;
class LogTargetDefault;
}  // namespace pando

// The installer's process-wide state: command line, configuration, the "Wend.log" logger behind
// the process's log function (foundation/logging/LogCallback.h) and the utilities' default logger,
// the run's private temporary folder, and the parts of the upper layers, which one factory
// builds (SetPartsFactory; do-nothing stand-ins without one).
//
// Threads: main creates and initialises the context before any other thread starts and destroys
// it after they have ended, apart from threads that only log: log calls from any thread are safe
// at any time, and are dropped before GetInstance and once Destroy has closed the log. Other
// threads may read the flags and texts below once Initialize has returned; quitRequested and the
// configuration (ConfigStore) may be read and written from any thread.
class ApplicationContext {
 public:
  static constexpr char kVersion[] = "4.1.1.207";

  // The factory the next context builds its parts with; that context keeps it. Call before
  // GetInstance.
  static void SetPartsFactory(std::unique_ptr<IContextPartsFactory> factory);
  // The context, created (and its log opened) on first use.
  static ApplicationContext* GetInstance();
  // Tears the context down in order; a second call, or one without a context, does nothing.
  static void Destroy();
  // Asks the living context's process to quit, as its final states do (quitRequested); nothing
  // without a context. Any thread, at any time: during a teardown it returns once that is over.
  static void RequestQuit();
  // The run's private temporary folder (a fresh GUID under "/tmp", 0700), made on first request,
  // held for the run (foundation/files/RunFolders.h) and removed at teardown; "" when it cannot be
  // made, and the next call tries a new name. The request first removes the folders killed runs of
  // this user left there. Creates the context when there is none.
  static std::string GetTempLocation();
  // The analytics of the living context; null before it exists and from the start of its
  // teardown, so events sent then are dropped. A caller's reference keeps the object alive until
  // the caller lets go. Any thread.
  static std::shared_ptr<IAnalytics> GetAnalytics();

  // Reads the command line and every configuration source. False only when the bundle's
  // configuration does not load. Once, on the main thread.
  bool Initialize(int argc, char** argv);
  // The still Base64 "ProductDetails" of the disk image the installer runs from; records the
  // image's volume in mountedVolumePath. False when there is no image or no such value.
  bool ReadDmgProductDetails(std::string& base64);
  // The product details embedded in the installer's disk image, decoded; may be empty. False when
  // there are none or they do not decode.
  bool ExtractEmbeddedData(std::string& json);
  // The signed configuration file, checked with configSigningKey; false when there is none to read
  // or it does not verify.
  bool ParseTarnConfigXml();
  // Makes the view mediator (silent in the elevated process) and the workflow manager, then
  // initialises the gateway, which hands the workflow manager the other process's state packets.
  bool InitMessageGateway(int argc, char** argv);
  // Starts the workflow manager's thread; false without a workflow manager or when the thread
  // cannot start.
  bool StartWorkflow();
  // What the desktop application's launch reads of this context: the workflow's launch, with
  // its install helper and lock, or the start-up launch, with neither.
  DesktopAppLaunchInputs desktopAppLaunchInputs(
      IInstallHelper* installHelper = nullptr,
      std::shared_ptr<TarnInstallationLock> installLock = nullptr);
  // The bundle the context reads its resources from; lives as long as the context.
  const IBundleResources& bundleResources() const { return *resources_; }

  std::atomic<bool> quitRequested{false};
  SharedInstallHelperChannels installHelperChannels;
  SharedProxyCredentials proxyCredentials;
  std::string requiredOsVersion;
  std::string workflowId;
  std::string lbsInstallerWorkflowID;
  bool isTestWorkflow = false;
  std::string mountedVolumePath;
  bool isAdmin = false;
  bool isSilent = false;
  std::string locale;
  // The key "C3Config.xml" must be signed with: the compiled-in release key unless a test sets
  // another before Initialize.
  ConfigSigningKey configSigningKey = releaseConfigSigningKey();

  // Destroyed last, in reverse order.
  CommandLineParser commandLine;
  ConfigStore config;
  std::unique_ptr<ISignInProfile> userProfile;

  std::unique_ptr<IMessageGateway> messageGateway;
  std::unique_ptr<ISurveyManager> surveyManager;
  std::unique_ptr<IViewMediator> viewMediator;
  std::unique_ptr<IAppletMessageManager> appletMessageManager;
  // The check reads the products data: made after it, deleted before it. Called on the workflow
  // thread (the products data from the check's script thread too).
  std::unique_ptr<CompatibilityCheck> compatibilityCheck;
  std::unique_ptr<ProductsData> productsData;
  // Made with the view mediator; its thread stops before the gateway goes, and it goes after.
  std::unique_ptr<WorkflowManager> workflowManager;

 private:
  explicit ApplicationContext(std::unique_ptr<IContextPartsFactory> factory);
  ~ApplicationContext();
  ApplicationContext(const ApplicationContext&) = delete;
  ApplicationContext& operator=(const ApplicationContext&) = delete;

  // The workflow's steps on this context's parts; the launch reinitialises `installHelper`.
  WorkflowSteps makeWorkflowSteps(IInstallHelper* installHelper);
  void InitLogging();
  void CloseLogging();
  std::string TempLocation();
  void RemoveTempLocation();

  std::unique_ptr<IContextPartsFactory> factory_;
  std::unique_ptr<IBundleResources> resources_;
  std::unique_ptr<pando::LogTargetDefault> logTarget_;
  std::unique_ptr<pando::Logger> logger_;

  std::mutex tempMutex_;
  std::string tempLocation_;     // guarded by tempMutex_; set only once the folder was made
  platform::UniqueFd tempLock_;  // guarded by tempMutex_; holds tempLocation_ for this run
};
