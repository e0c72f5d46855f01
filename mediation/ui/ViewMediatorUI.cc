#include "mediation/ui/ViewMediatorUI.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "core/config/ConfigValues.h"
#include "core/config/ServiceUrls.h"
#include "core/context/ApplicationContext.h"
#include "core/workflow/InstallerStatus.h"
#include "core/workflow/ViewMessageData.h"
#include "core/workflow/WorkflowManager.h"
#include "foundation/files/FileUtils.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/logging/LogLine.h"
#include "foundation/system/HardwareUtils.h"
#include "foundation/system/NativeLibrary.h"
#include "foundation/system/ProcessUtils.h"
#include "foundation/text/StringUtils.h"
#include "mediation/ui/HtmlViewTester.h"
#include "mediation/ui/LocalizationDictionary.h"
#include "mediation/ui/SignInRedirects.h"
#include "mediation/ui/ViewMediatorUIState.h"
#include "services/common/ServiceHosts.h"

namespace mediation {
using namespace mediator_detail;

namespace {

constexpr char kPageLogComponent[] = "MainJs";
constexpr char kTestHookName[] = "HTMLViewTester.dylib";
constexpr int kMakersSupportFolder = 18;

// A state with this bit runs in the elevated copy.

// Page messages that only this process can act on: they open the user's browser.
constexpr const char* kLocalOnly[] = {"openurl", "openFileURL", "learnMoreClicked"};
// Opens the folder chooser, which only this process can show.
constexpr char kLocationChange[] = "locationChangeClicked";
// Page messages the dispatcher answers at once, whatever step the workflow is in.
constexpr const char* kDirect[] = {"sendSMS", "openUrlInBrowser", "searchMosaicInBrowser"};
constexpr const char* kAlerts[] = {"showErrorAlert", "showProxyAlert", "showPathErrorAlert",
                                   "showCompatibilityErrorAlert"};

template <size_t N>
bool isOneOf(const std::string& name, const char* const (&names)[N]) {
  for (const char* candidate : names) {
    if (name == candidate) return true;
  }
  return false;
}

std::string valueOf(const std::string& data, const std::string& key) {
  ViewMessageData record;
  record.parse(data);
  return record.getValue(key);
}

// The locale's dictionary (see LoadLocalizationDictionary), or null when it is no JSON object.
Json::Value dictionaryOf(std::string& locale, const IBundleResources& resources) {
  Json::Value map;
  Json::Reader reader{Json::Features{}};
  if (!reader.parse(LoadLocalizationDictionary(locale, resources), map, true) || !map.isObject()) {
    return Json::Value();
  }
  return map;
}

}  // namespace

// The plain functions the web view host calls; their context is the mediator's state.
struct ViewMediatorUI::PageCallbacks {
  static ViewMediatorUI* owner(void* context) {
    return context ? static_cast<State*>(context)->owner : nullptr;
  }
  static int mainMessage(const std::string& name, const std::string& data, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->onMessageFromView(name, data);
    return 1;
  }
  static int mainLoadError(int kind, const std::string& url, int code, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->onMainLoadError(kind, url, code);
    return 1;
  }
  static int mainLoadWarning(int kind, const std::string& mainUrl, const std::string& failingUrl,
                             int code, void*) {
    kLog(pando::kLogWarn,
         "Warning in Main View: Main Url: %s , Error in loading Url: %s type: %d code:%d",
         maskedForLog(mainUrl).c_str(), maskedForLog(failingUrl).c_str(), kind, code);
    return 1;
  }
  static int idraLoadComplete(const std::string& url, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->handleLoadComplete(url, false);
    return 1;
  }
  static int idraLoadError(int kind, const std::string& url, int code, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->onIdraLoadError(kind, url, code);
    return 1;
  }
  static int idraLoadWarning(int kind, const std::string& mainUrl, const std::string& failingUrl,
                             int code, void* context) {
    kLog(pando::kLogWarn,
         "Warning in idra html type: Main Url: %s , Error in loading Url: %s type: %d code:%d",
         maskedForLog(mainUrl).c_str(), maskedForLog(failingUrl).c_str(), kind, code);
    if (ViewMediatorUI* mediator = owner(context)) mediator->handleLoadComplete(failingUrl, true);
    return 1;
  }
  static int idraType3LoadComplete(const std::string& url, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->handleIdraType3LoadComplete(url);
    return 1;
  }
  static int idraType3LoadError(int kind, const std::string& url, int code, void* context) {
    if (ViewMediatorUI* mediator = owner(context)) mediator->onIdraType3LoadError(kind, url, code);
    return 1;
  }
  static int idraType3LoadWarning(int kind, const std::string& mainUrl,
                                  const std::string& failingUrl, int code, void*) {
    kLog(pando::kLogWarn,
         "Warning in idratype3 html: Main Url: %s , Error in loading Url: %s type: %d code:%d",
         maskedForLog(mainUrl).c_str(), maskedForLog(failingUrl).c_str(), kind, code);
    return 1;
  }

  static HtmlViewInitData signInPage(State& state, void* parent) {
    HtmlViewInitData data;
    data.parentViewPtr = parent;
    data.callbackContext = &state;
    return data;
  }
};

// --- life --------------------------------------------------------------------------------------

ViewMediatorUI::ViewMediatorUI(int argc, char** argv, HtmlInterfacePorts ports,
                               std::shared_ptr<IInstallLocationBrowser> browser,
                               ViewMediatorUISettings settings)
    : ViewMediatorBase(std::move(browser), settings.base),
      state_(std::make_shared<State>(std::move(ports), settings)) {
  state_->owner = this;
  std::string hookPath = settings.testHookPath;
  if (hookPath.empty()) {
    if (!FileUtils::getSpecialFolderPath(kMakersSupportFolder, hookPath)) return;
    FileUtils::appendPathComponent(hookPath, kTestHookName);
  }
  if (!FileUtils::fileExistsAtPath(hookPath)) return;
  // The hook runs inside the installer: only a file no other user could have replaced.
  if (!state_->testHook.load(hookPath, NativeLibrary::OwnerCheck::kAlways)) return;
  state_->registerFn =
      reinterpret_cast<RegisterHtmlViewFn>(state_->testHook.getSymbol("registerHTMLView"));
  if (auto initialize =
          reinterpret_cast<InitializeTesterFn>(state_->testHook.getSymbol("initializeTester"))) {
    initialize(argc, argv);
  }
}

ViewMediatorUI::~ViewMediatorUI() {
  state_->owner = nullptr;
  if (state_->testHook.isLoaded()) {
    if (auto finalize =
            reinterpret_cast<FinalizeTesterFn>(state_->testHook.getSymbol("finalizeTester"))) {
      finalize();
    }
    state_->registerFn = nullptr;
    state_->testHook.unload();
  }
  state_->idraType3View.reset();
  state_->idraView.reset();
  state_->mainView.reset();
  // Tasks still queued hold only a weak reference: they find nothing and do nothing.
  state_.reset();
}

void ViewMediatorUI::post(std::function<void(State&)> task) const {
  if (!state_->shell) return;
  std::weak_ptr<State> weak = state_;
  state_->shell->post([weak, task = std::move(task)] {
    if (std::shared_ptr<State> state = weak.lock()) task(*state);
  });
}

WorkflowManager* ViewMediatorUI::workflowManager() const {
  return context().workflowManager.get();
}

std::string ViewMediatorUI::sentinelRoot() const {
  if (!state_->settings.sentinelRoot.empty()) return state_->settings.sentinelRoot;
  return idraSentinelRoot(GetEnvironment(context().config));
}

ViewMediatorUI::VisibleView ViewMediatorUI::visibleView() const {
  return state_->visible.load();
}

// --- views and windows -------------------------------------------------------------------------

void ViewMediatorUI::createMainViews(void* parent, const std::string& mainUrl) {
  State& state = *state_;
  if (!state.makeView) return;
  HtmlViewInitData main;
  main.parentViewPtr = parent;
  main.initUrl = mainUrl;
  main.callbackContext = &state;
  main.messageCallbackFnPtr = &PageCallbacks::mainMessage;
  main.loadErrorCallbackFnPtr = &PageCallbacks::mainLoadError;
  main.loadWarningCallbackFnPtr = &PageCallbacks::mainLoadWarning;
  state.mainView = state.makeView();
  if (state.mainView) state.mainView->create(main);

  HtmlViewInitData idra = PageCallbacks::signInPage(state, parent);
  idra.showOnInit = false;
  idra.loadCompleteCallbackFnPtr = &PageCallbacks::idraLoadComplete;
  idra.loadErrorCallbackFnPtr = &PageCallbacks::idraLoadError;
  idra.loadWarningCallbackFnPtr = &PageCallbacks::idraLoadWarning;
  state.idraView = state.makeView();
  if (state.idraView) state.idraView->create(idra);

  state.registerView("main", state.mainView.get());
  state.registerView("idra", state.idraView.get());
}

void ViewMediatorUI::createIdraType3View(const std::string& url, const std::string& title) {
  state_->idraType3Failed = false;
  const ProxyCredentials proxy = context().proxyCredentials.get();
  post([url, title, proxy](State& state) {
    if (!state.makeView) return;
    state.shell->setIdraType3WindowTitle(title);
    // One type-3 page at a time: the old one goes before the new one is made.
    state.idraType3View.reset();
    HtmlViewInitData data = PageCallbacks::signInPage(state, state.shell->idraType3ContentView());
    data.loadCompleteCallbackFnPtr = &PageCallbacks::idraType3LoadComplete;
    data.loadErrorCallbackFnPtr = &PageCallbacks::idraType3LoadError;
    data.loadWarningCallbackFnPtr = &PageCallbacks::idraType3LoadWarning;
    state.idraType3View = state.makeView();
    if (!state.idraType3View) return;
    state.idraType3View->create(data);
    if (!proxy.userName.empty()) {
      state.idraType3View->setProxyCredentials(proxy.userName, proxy.password);
    }
    state.idraType3View->setUrl(url);
    state.registerView("idraType3", state.idraType3View.get());
  });
}

void ViewMediatorUI::showMainView() {
  post([](State& state) {
    if (state.idraView) state.idraView->hide();
    if (state.mainView) state.mainView->show();
    if (state.visible.exchange(VisibleView::kMain) == VisibleView::kIdraType3) {
      state.shell->hideIdraType3Window();
    }
  });
}

void ViewMediatorUI::loadIntoIdraView(const std::string& url) {
  post([url](State& state) {
    if (state.idraView) state.idraView->setUrl(url);
  });
}

void ViewMediatorUI::openInBrowser(const std::string& url) {
  if (!url.empty()) PandoUtils::ProcessUtils::openURLWithTracking(url, false);
}

void ViewMediatorUI::terminateApplication() {
  if (state_->shell) state_->shell->terminateApplication();
}

void ViewMediatorUI::showMainWindow(const std::string& title) {
  if (state_->shell) state_->shell->showMainWindow(title);
}

void ViewMediatorUI::hideMainWindow() {
  if (state_->shell) state_->shell->hideMainWindow();
}

void ViewMediatorUI::setProxyCredentials(const std::string& userName, const std::string& password) {
  post([userName, password](State& state) {
    for (HtmlView* view : {state.mainView.get(), state.idraView.get(), state.idraType3View.get()}) {
      if (view) view->setProxyCredentials(userName, password);
    }
  });
}

std::string ViewMediatorUI::getLocalizedText(const std::string& key) {
  std::lock_guard lock(state_->mapMutex);
  return LocalizedMessage(state_->localization, state_->english, key);
}

// --- native -> page ----------------------------------------------------------------------------

void ViewMediatorUI::sendMessageToView(const std::string& name, const std::string& data) {
  if (name == "updateTarnProgress") {
    buildProgressMessage(ProgressEstimator::kNotReporting,
                         StringUtils::utilConvertStringToInt(valueOf(data, "progress")),
                         valueOf(data, "isCancelEnabled") == "true");
    return;
  }
  if (name == "updateProductProgress") {
    buildProgressMessage(StringUtils::utilConvertStringToInt(valueOf(data, "progress")),
                         ProgressEstimator::kNotReporting, true);
    return;
  }
  if (name == "updateTarnInstallWeightage") {
    updateWeightage(data);
    return;
  }
  if (name == "updateCancelButtonState") {
    const bool enabled = valueOf(data, "enabled") == "true";
    post([enabled](State& state) {
      state.shell->setCloseButtonEnabled(ShellWindow::kMain, enabled);
    });
  } else if (name == "updateProgress") {
    const int64_t progress = StringUtils::utilConvertStringToInt64(valueOf(data, "progress"));
    state_->dock->update(progress > 0 ? static_cast<uint64_t>(progress) : 0);
  } else if (isOneOf(name, kAlerts)) {
    showMainView();
    kLog(pando::kLogTrace, "Sending error message to UI message: %s data: %s", name.c_str(),
         pando::escapedForLog(data).c_str());
  } else if (name == "showQuitConfirmation") {
    post([](State& state) { state.shell->bringWindowToFront(); });
  }
  WorkflowManager* workflow = workflowManager();
  const WorkflowState state =
      workflow ? static_cast<WorkflowState>(workflow->stateCode()) : WorkflowState::kNone;
  if (ProgressEstimator::opensPause(name, state)) {
    state_->estimator.openPause();
  }
  passToPage(name, data);
}

void ViewMediatorUI::passToPage(const std::string& name, const std::string& data) {
  kLog(pando::kLogTrace, "Sending message to UI: %s", name.c_str());
  post([name, data](State& state) {
    if (state.mainView) state.mainView->sendMessage(name, data);
  });
}

void ViewMediatorUI::updateWeightage(const std::string& data) {
  const std::string tarnSize = valueOf(data, "tarnSize");
  const std::string productSize = GetConfigValue(context().config, "productSize");
  kLog(pando::kLogDebug, "Tarn Size calculated %s", tarnSize.c_str());
  kLog(pando::kLogDebug, "Product Size calculated %s", productSize.c_str());
  const float weightage = state_->estimator.updateWeightage(tarnSize, productSize);
  kLog(pando::kLogDebug, "Tarn Install Weightage calculated %s", std::to_string(weightage).c_str());
}

void ViewMediatorUI::buildProgressMessage(int productProgress, int desktopProgress,
                                          bool cancelEnabled) {
  updateCancelButtonState(cancelEnabled);
  const ProgressFigures figures = state_->estimator.update(productProgress, desktopProgress);
  ViewMessageData data;
  data.setValue("progress", std::to_string(figures.progress));
  data.setValue("minutesLeftMin", std::to_string(figures.minutesLeftMin));
  data.setValue("minutesLeftMax", std::to_string(figures.minutesLeftMax));
  WorkflowManager* workflow = workflowManager();
  if (workflow) workflow->setScreenId(ScreenId::kMain);
  sendMessageToView("updateProgress", data.toString());
  if (!workflow) return;
  workflow->setProgressEstimate({figures.minutesLeftMin, figures.minutesLeftMax, figures.progress});
  workflow->syncProgressEstimate();
}

// --- page -> native ----------------------------------------------------------------------------

void ViewMediatorUI::onMessageFromView(const std::string& name, const std::string& data) {
  if (name == "documentReady") {
    initialize();
    sendEvent("lbs-ui-launch");
    return;
  }
  if (name == "logMessage") {
    LogCallback(pando::kLogTrace, kBootstrapperModule, kPageLogComponent, "", "", "%s",
                pando::escapedForLog(data).c_str());
    return;
  }
  if (isOneOf(name, kDirect)) {
    processMessageFromView(name, data);
    return;
  }
  if (ProgressEstimator::closesPause(name)) state_->estimator.closePause();
  if (forwardsToElevatedCopy(name)) {
    if (name == kLocationChange) {
      changeLocationForElevatedCopy(data);
    } else {
      context().messageGateway->sendMessageToOtherViewMediator(name, data, true);
    }
    return;
  }
  processMessageFromView(name, data);
}

// The chooser needs this window, and the products are installed from this process: the folder is
// chosen and kept here, and the copy, whose step the workflow is in, takes it and raises the path
// alert. The chooser may stay open for long; when the step has come back here or the copy has
// gone meanwhile, the choice is taken here.
void ViewMediatorUI::changeLocationForElevatedCopy(const std::string& data) {
  const std::optional<InstallLocationChoice> choice = chooseInstallLocation(data);
  if (!choice) return;
  if (!forwardsToElevatedCopy(kLocationChange)) {
    takeInstallLocation(*choice);
    return;
  }
  if (WorkflowManager* workflow = workflowManager()) workflow->setInstallLocation(choice->path);
  context().messageGateway->sendMessageToOtherViewMediator(
      kLocationChange, packInstallLocationChoice(*choice), true);
}

bool ViewMediatorUI::forwardsToElevatedCopy(const std::string& name) const {
  if (isOneOf(name, kLocalOnly) || context().isAdmin) return false;
  WorkflowManager* workflow = workflowManager();
  if (!workflow || (code(workflow->stateCode()) & kAdministratorStateBit) == 0) return false;
  // A copy that never came up or went away cannot act: answers such as a quit stay here.
  IMessageGateway* gateway = context().messageGateway.get();
  return gateway && gateway->linkState() == IMessageGateway::LinkState::kConnected;
}

void ViewMediatorUI::initialize() {
  ApplicationContext& app = context();
  const std::string applicationName = GetProductName(app.config);
  const bool highDpi = HardwareUtils::getScreenScaleFactor() > 1.0f;

  std::string locale = app.locale;
  Json::Value map = dictionaryOf(locale, app.bundleResources());
  app.locale = locale;
  std::string mapText = "{}";
  if (map.isObject()) {
    Json::FastWriter writer;
    writer.omitEndingLineFeed();
    mapText = writer.write(map);
  }
  // The page has the English texts of its own; the window's and the chooser's come from here.
  std::string english = kEnglishLocale;
  Json::Value englishMap = dictionaryOf(english, app.bundleResources());
  {
    std::lock_guard lock(state_->mapMutex);
    state_->localization = std::move(map);
    state_->english = std::move(englishMap);
  }

  std::string title = getLocalizedText("WindowTitle");
  if (title.empty()) {
    title = applicationName;
  } else {
    StringUtils::utilReplaceAll(title, "{0}", applicationName);
  }

  const std::string contentUrl = GetContentUrl(app.config, GetSapCode(app.config), locale);
  kLog(pando::kLogInfo, "ContentURL is : %s", contentUrl.c_str());
  ViewMessageData data;
  data.setValue("applicationName", applicationName);
  data.setValue("platform", "mac");
  data.setValue("isHighDpi", highDpi ? "true" : "false");
  data.setValue("locale", locale);
  data.setValue("isTestWorkflow", app.isTestWorkflow ? "true" : "false");
  data.setValue("contentURL", contentUrl);
  data.setRawValue("localizationStringMap", mapText);
  sendMessageToView("initialize", data.toString());

  app.StartWorkflow();
  showMainView();
  // Queued behind "initialize": the window shows a page that has its texts.
  post([title](State& state) { state.shell->showMainWindow(title); });
}

// --- composition -------------------------------------------------------------------------------

namespace {

class HtmlInterfaceParts final : public ForwardingPartsFactory {
 public:
  HtmlInterfaceParts(std::unique_ptr<IContextPartsFactory> inner,
                     std::function<HtmlInterfacePorts()> ports,
                     std::shared_ptr<IInstallLocationBrowser> browser)
      : ForwardingPartsFactory(std::move(inner)),
        ports_(std::move(ports)),
        browser_(std::move(browser)) {}

  std::unique_ptr<IViewMediator> makeViewMediator(bool silent, int argc, char** argv) override {
    if (silent || !ports_) return ForwardingPartsFactory::makeViewMediator(silent, argc, argv);
    return std::make_unique<ViewMediatorUI>(argc, argv, ports_(), browser_);
  }

 private:
  std::function<HtmlInterfacePorts()> ports_;
  std::shared_ptr<IInstallLocationBrowser> browser_;
};

}  // namespace

std::unique_ptr<IContextPartsFactory> withHtmlInterface(
    std::unique_ptr<IContextPartsFactory> inner, std::function<HtmlInterfacePorts()> ports,
    std::shared_ptr<IInstallLocationBrowser> browser) {
  return std::make_unique<HtmlInterfaceParts>(std::move(inner), std::move(ports),
                                              std::move(browser));
}

}  // namespace mediation
