#include "mediation/view/ViewMediatorBase.h"

#include <cstdio>

#include "core/config/ConfigValues.h"
#include "core/context/ApplicationContext.h"
#include "core/workflow/ViewMessageData.h"
#include "core/workflow/WorkflowBlocks.h"
#include "core/workflow/WorkflowManager.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/ProcessUtils.h"
#include "foundation/text/StringUtils.h"
#include "mediation/view/ViewJson.h"

namespace {

constexpr pando::ComponentLog kLog{"ViewMediatorBase"};

const char* flag(bool value) {
  return value ? "true" : "false";
}

// The page's text as a log line may hold it: control characters escaped, so a line break in
// the page's data cannot start a line of its own.
std::string printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

// A control character or a blank would let one address pass for another or for several.
bool hasControlOrBlank(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// The environments the installer has services for; any other name the page sends is refused.
constexpr const char* kKnownEnvironments[] = {"PROD", "PRODUCTION", "STG", "STAGE", "DEV1",
                                              "DEV2", "QA1",        "QA2", "QE"};

// The known environment `text` names, in any case; "" for none.
std::string knownEnvironment(const std::string& text) {
  const std::string upper = StringUtils::utilToUpper(text);
  for (const char* name : kKnownEnvironments) {
    if (upper == name) return upper;
  }
  return "";
}

bool namesPassword(const std::string& text) {
  return StringUtils::utilToLower(text).find("password") != std::string::npos;
}

// Whether the data may carry the proxy password, whichever message brings it: the word in any
// case, in the text as it stands or once JSON escapes ("pass\u0077ord") are read.
bool holdsPassword(const std::string& data) {
  if (namesPassword(data)) return true;
  Json::Value root;
  return Json::Reader(Json::Features()).parse(data, root, false) &&
         namesPassword(Json::FastWriter().write(root));
}

}  // namespace

const ViewMediatorBase::Row ViewMediatorBase::kRows[] = {
    {"carouselLoadComplete", &ViewMediatorBase::onCarouselLoadComplete},
    {"overrideCrossButtonState", &ViewMediatorBase::onOverrideCrossButtonState},
    {"locationChangeClicked", &ViewMediatorBase::onLocationChangeClicked},
    {"locationRetryClicked", &ViewMediatorBase::onLocationRetryClicked},
    {"openurl", &ViewMediatorBase::onOpenUrl},
    {"openUrlInBrowser", &ViewMediatorBase::openLinkInBrowser},
    {"searchMosaicInBrowser", &ViewMediatorBase::openLinkInBrowser},
    {"openFileURL", &ViewMediatorBase::onOpenFileUrl},
    {"learnMoreClicked", &ViewMediatorBase::onLearnMoreClicked},
    {"piiLearnMoreClicked", &ViewMediatorBase::onPiiLearnMoreClicked},
    {"sendSMS", &ViewMediatorBase::sendSMS},
    {"carouselCardDisplayed", &ViewMediatorBase::onCarouselCardDisplayed},
    {"carouselDotClicked", &ViewMediatorBase::onCarouselDotClicked},
    {"defaultContentShown", &ViewMediatorBase::onDefaultContentShown},
    {"welcomeSignInButtonClick", &ViewMediatorBase::onWelcomeSignIn},
    {"welcomeSignUpButtonClick", &ViewMediatorBase::onWelcomeSignUp},
    {"welcomeSocialSignInButtonClick", &ViewMediatorBase::onWelcomeSocialSignIn},
    {"surveyContinueButtonClicked", &ViewMediatorBase::onSurveyContinue},
    {"testAppContinueButtonClicked", &ViewMediatorBase::onTestAppContinue},
    {"piiContinueButtonClicked", &ViewMediatorBase::onPiiContinue},
    {"cancelButtonClicked", &ViewMediatorBase::onCancel},
    {"quitConfirmationYesClicked", &ViewMediatorBase::onQuitYes},
    {"quitConfirmationNoClicked", &ViewMediatorBase::onQuitNo},
    {"retryClicked", &ViewMediatorBase::onRetry},
    {"proxyAlertLoginButtonClicked", &ViewMediatorBase::onProxyLogin},
};

ViewMediatorBase::ViewMediatorBase(std::shared_ptr<IInstallLocationBrowser> browser,
                                   ViewMediatorSettings settings)
    : context_(*ApplicationContext::GetInstance()),
      browser_(std::move(browser)),
      settings_(settings) {}

WorkflowManager* ViewMediatorBase::workflow() const {
  return context_.workflowManager.get();
}

void ViewMediatorBase::setScreen(int screenId) {
  if (WorkflowManager* manager = workflow()) manager->setScreenId(static_cast<ScreenId>(screenId));
}

void ViewMediatorBase::event(const std::string& eventType) {
  if (auto analytics = ApplicationContext::GetAnalytics()) analytics->sendServiceEvent(eventType);
}

void ViewMediatorBase::event(const std::string& eventType,
                             const std::map<std::string, std::string>& params) {
  if (auto analytics = ApplicationContext::GetAnalytics()) {
    analytics->sendServiceEventWithParams(eventType, params);
  }
}

void ViewMediatorBase::setState(uint32_t code) {
  if (WorkflowManager* manager = workflow()) {
    manager->setStateCode(static_cast<WorkflowState>(code));
  }
}

void ViewMediatorBase::setUIAction(int action) {
  if (WorkflowManager* manager = workflow()) {
    manager->setCurrentUIAction(static_cast<::UIAction>(action));
  }
}

bool ViewMediatorBase::openUrl(const std::string& url, bool tracking, const char* what) {
  if (!opensLinks_) {
    kLog(pando::kLogInfo, "%s: links open in the user's process", what);
    return false;
  }
  if (url.empty()) return false;
  if (hasControlOrBlank(url)) {
    kLog(pando::kLogWarn, "%s: refused the address %s", what, printable(url).c_str());
    return false;
  }
  return PandoUtils::ProcessUtils::openURLWithTracking(url, tracking);
}

bool ViewMediatorBase::signUpRequested() const {
  std::lock_guard lock(mutex_);
  return signUpRequested_;
}

std::string ViewMediatorBase::socialProviderId() const {
  std::lock_guard lock(mutex_);
  return socialProviderId_;
}

void ViewMediatorBase::setSocialProviderId(const std::string& id) {
  std::lock_guard lock(mutex_);
  socialProviderId_ = id;
}

// --- view commands ---------------------------------------------------------------------------

void ViewMediatorBase::showSpinnerScreen() {
  sendMessageToView("showSpinnerScreen", "");
}

void ViewMediatorBase::showWelcomeScreen(const std::string& data) {
  setScreen(code(ScreenId::kWelcome));
  event("lbs-welcome");
  sendMessageToView("showWelcomeScreen", data);
}

void ViewMediatorBase::showSurveyScreen(int alreadyFilled) {
  setScreen(code(ScreenId::kSurvey));
  event("lbs-survey", {{"survey-common-questions-skipped", flag(alreadyFilled == 1)}});
  Json::Value data(Json::objectValue);
  data["surveyQuestionsAlreadyFilled"] = std::to_string(alreadyFilled);
  sendMessageToView("showSurveyScreen", Json::FastWriter().write(data));
}

void ViewMediatorBase::showPiiScreen() {
  setScreen(code(ScreenId::kPrivacyNotice));
  event("lbs-pii-notice");
  sendMessageToView("showPiiScreen", "");
}

void ViewMediatorBase::showMainScreen() {
  setScreen(code(ScreenId::kMain));
  event("lbs-window-load");
  sendMessageToView("showMainScreen", "");
}

void ViewMediatorBase::showErrorAlert(const std::string& errorType, int retryMode,
                                      const std::string& errorCode, const std::string& errorParam,
                                      const std::string& errorTitle,
                                      const std::string& moreInfoLink, bool appendParamsAtEnd) {
  Json::Value data(Json::objectValue);
  data["errorType"] = errorType;
  data["errorTitle"] = errorTitle;
  data["errorCode"] = errorCode;
  data["errorParam"] = errorParam;
  data["moreInfoLink"] = moreInfoLink;
  data["showRetry"] = flag(retryMode == 1);
  data["showContinue"] = flag(retryMode == 2);
  data["appendParamsAtEnd"] = flag(appendParamsAtEnd);
  sendMessageToView("showErrorAlert", Json::FastWriter().write(data));
}

void ViewMediatorBase::showPathErrorAlert(const std::string& alertTitle,
                                          const std::string& alertText,
                                          const std::string& installLocation,
                                          bool incorrectLocation, const std::string& errorParam) {
  Json::Value data(Json::objectValue);
  data["alertTitle"] = alertTitle;
  data["alertText"] = alertText;
  data["installLocation"] = installLocation;
  data["errorParam"] = errorParam;
  data["showAlertIcon"] = "true";
  data["incorrectLocation"] = flag(incorrectLocation);
  sendMessageToView("showPathErrorAlert", Json::FastWriter().write(data));
}

void ViewMediatorBase::showCompatibilityErrorAlert(const std::string& data) {
  sendMessageToView("showCompatibilityErrorAlert", data);
}

void ViewMediatorBase::showProxyAlert() {
  if (auto analytics = ApplicationContext::GetAnalytics()) analytics->sendProxyModeEvent();
  sendMessageToView("showProxyAlert", "");
}

void ViewMediatorBase::updateTarnProgress(int progress, bool isCancelEnabled) {
  ViewMessageData data;
  data.setValue("progress", std::to_string(progress));
  data.setValue("isCancelEnabled", flag(isCancelEnabled));
  sendMessageToView("updateTarnProgress", data.toString());
}

void ViewMediatorBase::updateProductProgress(int progress) {
  ViewMessageData data;
  data.setValue("progress", std::to_string(progress));
  sendMessageToView("updateProductProgress", data.toString());
}

void ViewMediatorBase::updateTarnInstallWeightage(const std::string& tarnSize) {
  ViewMessageData data;
  data.setValue("tarnSize", tarnSize);
  sendMessageToView("updateTarnInstallWeightage", data.toString());
}

void ViewMediatorBase::updateCancelButtonState(bool enabled) {
  ViewMessageData data;
  data.setValue("enabled", flag(enabled));
  sendMessageToView("updateCancelButtonState", data.toString());
}

void ViewMediatorBase::showQuitConfirmation() {
  sendMessageToView("showQuitConfirmation", "");
}

void ViewMediatorBase::showQuittingScreen() {
  sendMessageToView("showQuittingScreen", "");
}

void ViewMediatorBase::showLaunchingProductScreen() {
  setScreen(code(ScreenId::kLaunch));
  sendMessageToView("showLaunchingProductScreen", "");
}

void ViewMediatorBase::showDefaultContent(const std::string& errorURL) {
  ViewMessageData data;
  data.setValue("errorURL", errorURL);
  sendMessageToView("showDefaultContent", data.toString());
}

// --- messages from the view ------------------------------------------------------------------

void ViewMediatorBase::processMessageFromView(const std::string& name, const std::string& data) {
  kLog(pando::kLogTrace, "Processing message from view: %s data:%s", printable(name).c_str(),
       holdsPassword(data) ? "<withheld>" : printable(data).c_str());
  for (const Row& row : kRows) {
    if (name == row.name) {
      (this->*row.handler)(data);
      return;
    }
  }
}

void ViewMediatorBase::onCarouselLoadComplete(const std::string&) {
  if (auto analytics = ApplicationContext::GetAnalytics()) analytics->sendCarouselLoadEvent(false);
}

void ViewMediatorBase::onOverrideCrossButtonState(const std::string& data) {
  WorkflowManager* manager = workflow();
  if (!manager) return;
  manager->setCloseOverride(data == "true");
  manager->syncState();
}

void ViewMediatorBase::onLocationChangeClicked(const std::string& data) {
  if (const std::optional<InstallLocationChoice> choice = chooseInstallLocation(data)) {
    takeInstallLocation(*choice);
  }
}

std::optional<InstallLocationChoice> ViewMediatorBase::chooseInstallLocation(
    const std::string& data) {
  WorkflowManager* manager = workflow();
  if (!manager || !browser_) return std::nullopt;
  InstallLocationChoice choice;
  choice.path = manager->installLocation();
  choice.fits = browser_->browseForInstallLocation(choice.path, choice.errorNumber,
                                                   getLocalizedText("Select"));
  choice.pageData = data;
  return choice;
}

void ViewMediatorBase::takeInstallLocation(const InstallLocationChoice& choice) {
  WorkflowManager* manager = workflow();
  if (!manager) return;
  manager->setInstallLocation(choice.path);
  if (choice.fits) {
    ViewJson members;
    if (!members.read(choice.pageData, {"alertTitle", "alertText"})) return;
    manager->showPathErrorAlert(members["alertTitle"], members["alertText"], choice.path, false,
                                "");
    return;
  }
  std::string titleId, textId;
  WorkflowManager::getInstallLocationErrorIds(choice.errorNumber, titleId, textId);
  manager->showPathErrorAlert(titleId, textId, choice.path, true, "");
}

void ViewMediatorBase::onLocationRetryClicked(const std::string&) {
  setUIAction(code(UIAction::kLocationChosen));
}

void ViewMediatorBase::onOpenUrl(const std::string& data) {
  openUrl(data, true, "openurl");
}

void ViewMediatorBase::onOpenFileUrl(const std::string& data) {
  std::string path = data;
  StringUtils::utilReplaceAll(path, "\\", "/");
  if (!opensLinks_) {
    kLog(pando::kLogInfo, "openFileURL: links open in the user's process");
    return;
  }
  // A path that starts with a slash would make "file:////host/..." or "file://///host/...": a
  // file on another machine. Only this machine's files are opened.
  if (path.empty() || path.front() == '/' || hasControlOrBlank(path)) {
    kLog(pando::kLogWarn, "openFileURL: refused the path %s", printable(data).c_str());
    return;
  }
  PandoUtils::ProcessUtils::openFileURLWithTracking("file:///" + path);
}

void ViewMediatorBase::onLearnMoreClicked(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"url", "index", "cardID"})) return;
  openUrl(members["url"], true, "learnMoreClicked");
  if (!opensLinks_) return;
  event("lbs-carousel-button", {{"lbs-carousel-screen-url", members["url"]},
                                {"lbs-carousel-screen-index", members["index"]},
                                {"lbs-carousel-screen-id", members["cardID"]}});
}

void ViewMediatorBase::onPiiLearnMoreClicked(const std::string&) {
  event("lbs-pii-notice-learn-more");
}

void ViewMediatorBase::onCarouselCardDisplayed(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"index", "cardID"})) return;
  event("lbs-carousel-card-displayed", {{"lbs-carousel-screen-index", members["index"]},
                                        {"lbs-carousel-screen-id", members["cardID"]}});
}

void ViewMediatorBase::onCarouselDotClicked(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"index", "cardID"})) return;
  event("lbs-carousel-dots", {{"lbs-carousel-screen-index", members["index"]},
                              {"lbs-carousel-screen-id", members["cardID"]}});
}

void ViewMediatorBase::onDefaultContentShown(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"timeOut", "errorURL"})) return;
  event("default-content-shown",
        {{"isTimeOut", members["timeOut"]}, {"errorURL", members["errorURL"]}});
}

void ViewMediatorBase::onWelcomeSignIn(const std::string&) {
  event("lbs-welcome-signIn-clicked");
  setState(code(WorkflowState::kSignIn));
}

void ViewMediatorBase::onWelcomeSignUp(const std::string&) {
  {
    std::lock_guard lock(mutex_);
    signUpRequested_ = true;
  }
  event("lbs-welcome-signUp-clicked");
  setState(code(WorkflowState::kSignIn));
}

void ViewMediatorBase::onWelcomeSocialSignIn(const std::string& data) {
  setSocialProviderId(data);
  showSpinnerScreen();
  event("lbs-welcome-social-signIn-clicked");
  setState(code(WorkflowState::kSignIn));
}

void ViewMediatorBase::onSurveyContinue(const std::string& data) {
  if (context().surveyManager) context().surveyManager->loadSurveyData(data);
  setState(code(WorkflowState::kSurveyResults));
  event("lbs-survey-continue");
}

void ViewMediatorBase::onTestAppContinue(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"signInClicked", "environment"})) return;
  if (members["signInClicked"] != "true") {
    setState(code(WorkflowState::kMainScreen));
    return;
  }
  const std::string environment = knownEnvironment(members["environment"]);
  if (!environment.empty()) {
    SetEnvironment(context().config, environment);
    if (context().userProfile) context().userProfile->setEnvironment(environment);
  } else if (!members["environment"].empty()) {
    kLog(pando::kLogWarn, "testAppContinueButtonClicked: unknown environment %s refused",
         printable(members["environment"]).c_str());
  }
  setState(code(WorkflowState::kSignIn));
}

void ViewMediatorBase::onPiiContinue(const std::string&) {
  setState(code(WorkflowState::kPrivacyNoticeAccepted));
  event("lbs-pii-notice-continue");
}

void ViewMediatorBase::onCancel(const std::string&) {
  setUIAction(code(UIAction::kQuitRequested));
}

void ViewMediatorBase::onQuitYes(const std::string&) {
  if (WorkflowManager* manager = workflow()) manager->setQuitConfirmed(true);
  setUIAction(code(UIAction::kQuitConfirmed));
}

void ViewMediatorBase::onQuitNo(const std::string&) {
  setUIAction(code(UIAction::kQuitDeclined));
}

void ViewMediatorBase::onRetry(const std::string&) {
  setUIAction(code(UIAction::kRetry));
}

void ViewMediatorBase::onProxyLogin(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"userName", "password", "rememberMe"})) return;
  // Stored before the UI action, which the workflow thread acts on.
  context().proxyCredentials.set(
      {members["userName"], members["password"], members["rememberMe"] == "true"});
  setUIAction(code(UIAction::kProxyLogin));
}
