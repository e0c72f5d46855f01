#include "core/context/ApplicationContext.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/compat/CompatibilityStep.h"
#include "core/config/ConfigValues.h"
#include "core/config/ConfigXml.h"
#include "core/config/EmbeddedConfig.h"
#include "core/context/CapsMarker.h"
#include "core/context/DmgTrailer.h"
#include "core/context/LoggerGate.h"
#include "core/context/PrivateFolder.h"
#include "core/context/StandInParts.h"
#include "core/context/SystemVolumes.h"
#include "core/context/TarnConfig.h"
#include "core/install/DesktopAppLaunch.h"
#include "core/install/ProductInstallation.h"
#include "core/install/UserChoices.h"
#ifdef WEND_DESKTOP_INSTALL
#include "core/install/desktop/DesktopAppInstall.h"
#endif
#include "foundation/files/FileUtils.h"
#include "foundation/files/RunFolders.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/logging/LogTargetDefault.h"
#include "foundation/logging/Logger.h"
#include "foundation/logging/LoggingCore.h"
#include "foundation/logging/UtilsLog.h"
#include "foundation/system/Locale.h"
#include "foundation/text/StringUtils.h"
#include "platform/UniqueFd.h"
#include "platform/files/FolderChain.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/TimeScale.h"

namespace {

constexpr char kComponent[] = "ApplicationContext";
constexpr char kLogCategory[] = "WendB_Logs";
constexpr int kTemporaryFolder = 15;
constexpr int kDesktopAppFolder = 30;
constexpr int kSharedComponentsFolder = 29;

std::mutex instanceMutex;
ApplicationContext* instance = nullptr;                // guarded by instanceMutex
std::unique_ptr<IContextPartsFactory> pendingFactory;  // guarded by instanceMutex

std::mutex analyticsMutex;
std::shared_ptr<IAnalytics> currentAnalytics;  // guarded by analyticsMutex

// Swaps the published analytics. The old one leaves in `analytics`, to be deleted outside the
// lock by whoever lets go of it last.
void publishAnalytics(std::shared_ptr<IAnalytics> analytics) {
  std::lock_guard lock(analyticsMutex);
  currentAnalytics.swap(analytics);
}

// The gates outlive every context, so a thread that picked one up just before a teardown finds
// it closed rather than freed.
LoggerGate& applicationGate() {
  static LoggerGate* gate = new LoggerGate();
  return *gate;
}
LoggerGate& utilitiesGate() {
  static LoggerGate* gate = new LoggerGate("PandoUtils");
  return *gate;
}

// "<console user's logs>/Skyloom/Tarn", made for that user; "" when it cannot be made.
std::string logFolder() {
  std::string folder;
  return platform::makeConsoleUserLogFolder("Skyloom/Tarn", folder) ? folder : "";
}

// The product's waits, stretched or shortened as multi-process tests and the demo ask.
WorkflowSettings workflowSettings() {
  WorkflowSettings settings;
  const double factor = platform::timeScaleFromEnvironment();
  for (std::chrono::milliseconds* wait :
       {&settings.launchPause, &settings.launchWait, &settings.launchWaitLong}) {
    *wait = std::chrono::milliseconds(
        static_cast<int64_t>(static_cast<double>(wait->count()) * factor));
  }
  return settings;
}

// `parent`/`name`, made private to this run once the folders that killed runs left in `parent`
// are gone (nothing else removes them), and held by `lock` while the run lives, so that no other
// run takes it for such a leftover. False when it cannot be made.
bool makeRunFolder(const std::string& parent, const std::string& name, std::string& path,
                   platform::UniqueFd& lock) {
  files::removeAbandonedRunFolders(parent);
  if (!makePrivateFolder(parent, name, path)) return false;
  lock = files::holdRunFolder(path);
  if (!lock.valid()) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Could not lock the temp location %s", path.c_str());
  }
  return true;
}

}  // namespace

void ApplicationContext::SetPartsFactory(std::unique_ptr<IContextPartsFactory> factory) {
  std::lock_guard lock(instanceMutex);
  pendingFactory = std::move(factory);
}

ApplicationContext* ApplicationContext::GetInstance() {
  std::lock_guard lock(instanceMutex);
  if (!instance) {
    std::unique_ptr<IContextPartsFactory> factory = std::move(pendingFactory);
    if (!factory) factory = std::make_unique<StandInPartsFactory>();
    instance = new ApplicationContext(std::move(factory));
  }
  return instance;
}

void ApplicationContext::Destroy() {
  std::lock_guard lock(instanceMutex);
  if (!instance) return;
  instance->quitRequested = true;
  delete instance;
  instance = nullptr;
}

void ApplicationContext::RequestQuit() {
  std::lock_guard lock(instanceMutex);
  if (instance) instance->quitRequested = true;
}

ApplicationContext::ApplicationContext(std::unique_ptr<IContextPartsFactory> factory)
    : factory_(std::move(factory)) {
  userProfile = factory_->makeSignInProfile();
  InitLogging();
  messageGateway = factory_->makeMessageGateway();
  surveyManager = factory_->makeSurveyManager();
  appletMessageManager = factory_->makeAppletMessageManager();
  productsData =
      std::make_unique<ProductsData>(config, [this](std::string& userName, std::string& password) {
        const ProxyCredentials credentials = proxyCredentials.get();
        userName = credentials.userName;
        password = credentials.password;
      });
  compatibilityCheck = std::make_unique<CompatibilityCheck>(
      *productsData, [this] { return locale; },
      [](const std::string& eventType, const std::map<std::string, std::string>& params) {
        if (std::shared_ptr<IAnalytics> analytics = GetAnalytics()) {
          analytics->sendServiceEventWithParams(eventType, params);
        }
      });
  publishAnalytics(factory_->makeAnalytics());
  resources_ = factory_->makeBundleResources();
}

ApplicationContext::~ApplicationContext() {
  publishAnalytics(nullptr);
  // The workflow sends through the gateway and the gateway's worker hands packets to the
  // workflow: the workflow's threads end first, the gateway goes next, the workflow last.
  if (workflowManager) workflowManager->StopWorkflow();
  messageGateway.reset();
  workflowManager.reset();
  surveyManager.reset();
  viewMediator.reset();
  appletMessageManager.reset();
  compatibilityCheck.reset();
  productsData.reset();
  RemoveTempLocation();
  CloseLogging();
}

void ApplicationContext::InitLogging() {
  const std::string folder = logFolder();
  logTarget_ = std::make_unique<pando::LogTargetDefault>(kLogCategory);
  logTarget_->setLogFile("Wend.log", folder.c_str());
  logTarget_->setLogLevel(pando::kLogInfo);
  pando::LoggingCore::instance().addTarget(logTarget_.get());
  logger_ = std::make_unique<pando::Logger>(kLogCategory, "", "WendB", "Setup", kComponent);
  logger_->info("*********************** Workflow start. Version: %s **************************",
                kVersion);
  applicationGate().open(logger_.get());
  utilitiesGate().open(logger_.get());
  setApplicationLogger(&applicationGate());
  pando::setPandoUtilsDefaultLogger(&utilitiesGate());
}

void ApplicationContext::CloseLogging() {
  logger_->info("*********************** Workflow end. Version: %s **************************",
                kVersion);
  // Closing waits for calls in flight, so nothing runs in the logger once it is deleted.
  setApplicationLogger(nullptr);
  pando::setPandoUtilsDefaultLogger(nullptr);
  applicationGate().close();
  utilitiesGate().close();
  pando::LoggingCore::instance().removeTarget(logTarget_.get());
  logger_.reset();
  logTarget_.reset();
}

bool ApplicationContext::Initialize(int argc, char** argv) {
  isAdmin = geteuid() == 0;
  if (geteuid() == 0) touchCapsMarker();
  InstallHelperChannels channels;
  StringUtils::utilCreateUUIDString(channels.first);
  StringUtils::utilCreateUUIDString(channels.second);
  installHelperChannels.set(std::move(channels));
  commandLine.parse(argc, argv);
  commandLine.getArgumentValue("workflowId", workflowId);
  commandLine.getArgumentValue("lbsInstallerWorkflowID", lbsInstallerWorkflowID);
  if (!commandLine.getArgumentValue("locale", locale)) getPreferredLocale(locale);
  isSilent = commandLine.hasArgument("pipename");

  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Extracting config xml");
  std::string configXml;
  resources_->readResource("config", "xml", configXml);
  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Config xml extracted");
  if (!ConfigXmlToMap(config, configXml)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "InitError",
                "Failed to initialize config xml.");
    return false;
  }
  isTestWorkflow = GetSapCode(config) == "TEST";
  if (isTestWorkflow) isAdmin = true;

  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "",
              "Extracting embedded data");
  std::string embedded;
  if (!ExtractEmbeddedData(embedded)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "InitError",
                "Failed to fetch embedded json data.");
  } else if (embedded.empty()) {
    LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
                "Embedded data not found");
  } else {
    LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Found embedded data.");
    if (!ParseEmbeddedConfigJson(config, embedded)) {
      LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "InitError",
                  "Failed to initialize with embedded json data.");
    } else {
      LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "",
                  "Embedded Json contextParams : %s", GetContextParams(config).c_str());
    }
  }

  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Parsing TarnConfigXml.");
  ParseTarnConfigXml();
  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "TarnConfigXml parsed.");

  std::string environment;
  if (commandLine.getArgumentValue("environment", environment)) {
    SetEnvironment(config, environment);
  }
  userProfile->setEnvironment(GetEnvironment(config));
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
              "ApplicationContext initialized successfully.");
  return true;
}

bool ApplicationContext::ReadDmgProductDetails(std::string& base64) {
  std::string imagePath;
  if (!getSelfDmgPath(systemSelfDmgQuery(), SystemVolumes(), HdiutilImageInfo(), imagePath,
                      mountedVolumePath)) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Unable to fetch mounted DMG path");
    return false;
  }
  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Mounted DMG path : %s",
              imagePath.c_str());
  // Read-only: nothing here writes, and a read-only image must give its details too. Non-blocking,
  // so that a pipe named by the tool's reply cannot hang start-up (the trailer read refuses it).
  platform::UniqueFd image(open(imagePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  std::string plist;
  DmgReadStatus status =
      image.valid() ? readDmgPropertyList(image.get(), plist) : DmgReadStatus::kReadFailed;
  if (status == DmgReadStatus::kBadTrailer) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "DMG trailer of %s points outside the file", imagePath.c_str());
    return false;
  }
  if (status != DmgReadStatus::kRead) {
    LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
                "Unable to read DMG file from path: %s", imagePath.c_str());
    return false;
  }
  return findProductDetails(plist, base64);
}

bool ApplicationContext::ExtractEmbeddedData(std::string& json) {
  std::string base64;
  if (!ReadDmgProductDetails(base64)) return false;
  std::unique_ptr<unsigned char[]> bytes;
  size_t length = 0;
  if (!StringUtils::utilDecodeBase64Data(base64.data(), base64.size(), &bytes, length)) {
    return false;
  }
  json.assign(reinterpret_cast<const char*>(bytes.get()), bytes ? length : 0);
  return true;
}

bool ApplicationContext::ParseTarnConfigXml() {
  std::string folder;
  if (!FileUtils::getSpecialFolderPath(kDesktopAppFolder, folder)) return false;
  return readTarnConfig(folder, configSigningKey, config);
}

bool ApplicationContext::InitMessageGateway(int argc, char** argv) {
  viewMediator = factory_->makeViewMediator(isSilent, argc, argv);
  std::unique_ptr<IInstallHelper> installHelper = factory_->makeInstallHelper();
  IInstallHelper* reinit = installHelper.get();
  const WorkflowRole role = isSilent  ? WorkflowRole::kSilent
                            : isAdmin ? WorkflowRole::kAdministrator
                                      : WorkflowRole::kUser;
  workflowManager = std::make_unique<WorkflowManager>(
      WorkflowContext{quitRequested, config, proxyCredentials, requiredOsVersion, isTestWorkflow,
                      installHelperChannels},
      WorkflowCollaborators{*viewMediator, *messageGateway, *userProfile, *surveyManager,
                            *appletMessageManager, &ApplicationContext::GetAnalytics,
                            std::move(installHelper), makeWorkflowSteps(reinit)},
      role, workflowSettings());
  if (!messageGateway->InitMessageGateway(commandLine)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "InitError",
                "Failed to initialize message gateway.");
    return false;
  }
  LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "",
              "Message gateway initialized");
  return true;
}

WorkflowSteps ApplicationContext::makeWorkflowSteps(IInstallHelper* installHelper) {
  WorkflowSteps steps;
  auto installLock = std::make_shared<TarnInstallationLock>();
  steps.products = std::make_unique<ProductInstallation>(ProductInstallInputs{
      *appletMessageManager, *viewMediator, config, *userProfile, proxyCredentials,
      &ApplicationContext::GetTempLocation, [this] { return installHelperChannels.get().first; },
      locale, installLock});
  steps.launch =
      std::make_unique<DesktopAppLaunch>(desktopAppLaunchInputs(installHelper, installLock));

  steps.compatibility = std::make_unique<CompatibilityStep>(*compatibilityCheck);
  steps.choices = std::make_unique<UserChoices>(config, *userProfile, proxyCredentials);
#ifdef WEND_DESKTOP_INSTALL
  std::string sharedComponents;
  FileUtils::getSpecialFolderPath(kSharedComponentsFolder, sharedComponents);
  DesktopAppInputs desktop(config, proxyCredentials, quitRequested,
                           {GetTempLocation(), sharedComponents});
  desktop.analytics = &ApplicationContext::GetAnalytics;
  desktop.logger = logger_.get();
  steps.desktopApp = std::make_unique<DesktopAppInstall>(std::move(desktop));
#endif
  return steps;
}

DesktopAppLaunchInputs ApplicationContext::desktopAppLaunchInputs(
    IInstallHelper* installHelper, std::shared_ptr<TarnInstallationLock> installLock) {
  DesktopAppLaunchInputs inputs(config);
  inputs.workflowId = workflowId;
  inputs.installerWorkflowId = lbsInstallerWorkflowID;
  inputs.analytics = &ApplicationContext::GetAnalytics;
  inputs.installHelper = installHelper;
  inputs.logger = logger_.get();
  inputs.asRoot = geteuid() == 0;
  inputs.installLock = std::move(installLock);
  inputs.relaunch.mountPath = mountedVolumePath;
  inputs.relaunch.wendExp = GetWendExp(config);
  inputs.relaunch.applets = appletMessageManager.get();
  inputs.relaunch.selfPid = getpid();
  return inputs;
}

bool ApplicationContext::StartWorkflow() {
  if (workflowManager && workflowManager->StartWorkflow()) {
    LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "", "Workflow started.");
    return true;
  }
  LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "StartWFError",
              "Failed to start workflow.");
  return false;
}

std::shared_ptr<IAnalytics> ApplicationContext::GetAnalytics() {
  std::lock_guard lock(analyticsMutex);
  return currentAnalytics;
}

std::string ApplicationContext::GetTempLocation() {
  return GetInstance()->TempLocation();
}

std::string ApplicationContext::TempLocation() {
  std::lock_guard lock(tempMutex_);
  if (!tempLocation_.empty()) return tempLocation_;
  std::string parent;
  std::string name;
  if (FileUtils::getSpecialFolderPath(kTemporaryFolder, parent) &&
      StringUtils::utilCreateUUIDString(name) &&
      makeRunFolder(parent, name, tempLocation_, tempLock_)) {
    LogCallback(pando::kLogDebug, kBootstrapperModule, kComponent, "", "",
                "Temp Location for extraction is %s", tempLocation_.c_str());
    return tempLocation_;
  }
  LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "InitError",
              "Failed to created directory in temp.");
  return "";
}

void ApplicationContext::RemoveTempLocation() {
  std::lock_guard lock(tempMutex_);
  if (tempLocation_.empty()) return;
  if (!FileUtils::deleteDirectory(tempLocation_, true)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "Failed to delete directory in temp.");
  }
  tempLocation_.clear();
  tempLock_.reset();  // only now: the folder was still this run's while it went
}
