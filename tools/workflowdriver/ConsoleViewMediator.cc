#include "tools/workflowdriver/ConsoleViewMediator.h"

#include <cstdio>

namespace {

const char* retryText(int retryMode) {
  switch (retryMode) {
    case 1:
      return "retry";
    case 2:
      return "continue";
    default:
      return "no-button";
  }
}

}  // namespace

void ConsoleViewMediator::print(const std::string& line) {
  std::lock_guard lock(outputMutex_);
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void ConsoleViewMediator::alert(const std::string& line) {
  print(line);
  ++alerts_;
}

void ConsoleViewMediator::sendMessageToView(const std::string& name, const std::string&) {
  print("message " + name);
}

void ConsoleViewMediator::terminateApplication() {
  print("terminate");
  terminated_ = true;
}

void ConsoleViewMediator::showSignInView() {
  print("screen sign-in");
}
void ConsoleViewMediator::showSpinnerScreen() {
  print("screen spinner");
}
void ConsoleViewMediator::showWelcomeScreen(const std::string&) {
  print("screen welcome");
}
void ConsoleViewMediator::showSurveyScreen(int) {
  print("screen survey");
}
void ConsoleViewMediator::showPiiScreen() {
  print("screen privacy-notice");
}
void ConsoleViewMediator::showMainScreen() {
  print("screen main");
}
void ConsoleViewMediator::showQuittingScreen() {
  print("screen quitting");
}
void ConsoleViewMediator::showLaunchingProductScreen() {
  print("screen launching");
}

void ConsoleViewMediator::showErrorAlert(const std::string& errorType, int retryMode,
                                         const std::string& errorCode, const std::string&,
                                         const std::string&, const std::string&, bool) {
  alert("alert " + errorType + " " + errorCode + " " + retryText(retryMode));
}

void ConsoleViewMediator::showPathErrorAlert(const std::string& alertTitle, const std::string&,
                                             const std::string& installLocation, bool,
                                             const std::string&) {
  alert("alert path " + alertTitle + " " + installLocation);
}

void ConsoleViewMediator::showCompatibilityErrorAlert(const std::string&) {
  alert("alert compatibility");
}

void ConsoleViewMediator::showProxyAlert() {
  alert("alert proxy");
}

void ConsoleViewMediator::updateTarnProgress(int progress, bool) {
  print("progress desktop " + std::to_string(progress));
}

void ConsoleViewMediator::updateProductProgress(int progress) {
  print("progress products " + std::to_string(progress));
}

void ConsoleViewMediator::updateTarnInstallWeightage(const std::string& tarnSize) {
  print("download size " + tarnSize);
}

void ConsoleViewMediator::showQuitConfirmation() {
  print("quit confirmation");
  ++quitConfirmations_;
}
