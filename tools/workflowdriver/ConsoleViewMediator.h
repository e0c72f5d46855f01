#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "core/context/ContextParts.h"

// The view of a whole installation run without a window: every screen, progress line and alert
// the workflow shows is printed to standard output as one line ("screen main", "progress
// products 51", "alert network P1 retry"), and what the run needs to answer it is kept for the
// driver's loop, which answers the way a person at the page would.
//
// Threads: the workflow's, the install threads' and their callbacks call the commands; the
// driver's loop reads the counters. Lines are written whole under one mutex, so two threads never
// interleave within a line.
class ConsoleViewMediator final : public IViewMediator {
 public:
  // Alerts and quit confirmations shown so far; the driver answers each once.
  int alertsShown() const { return alerts_.load(); }
  int quitConfirmationsShown() const { return quitConfirmations_.load(); }
  // The workflow has asked the view to close: it has ended.
  bool terminated() const { return terminated_.load(); }
  // Prints one line of the driver's own ("state 0x1302", "exit ...").
  void print(const std::string& line);

  void sendMessageToView(const std::string& name, const std::string& data) override;
  void onMessageFromView(const std::string&, const std::string&) override {}
  void terminateApplication() override;
  void showSignInView() override;
  void showSpinnerScreen() override;
  void showWelcomeScreen(const std::string& data) override;
  void showSurveyScreen(int alreadyFilled) override;
  void showPiiScreen() override;
  void showMainScreen() override;
  void showErrorAlert(const std::string& errorType, int retryMode, const std::string& errorCode,
                      const std::string& errorParam, const std::string& errorTitle,
                      const std::string& moreInfoLink, bool appendParamsAtEnd) override;
  void showPathErrorAlert(const std::string& alertTitle, const std::string& alertText,
                          const std::string& installLocation, bool incorrectLocation,
                          const std::string& errorParam) override;
  void showCompatibilityErrorAlert(const std::string& data) override;
  void showProxyAlert() override;
  void updateTarnProgress(int progress, bool isCancelEnabled) override;
  void updateProductProgress(int progress) override;
  void updateTarnInstallWeightage(const std::string& tarnSize) override;
  void showQuitConfirmation() override;
  void showQuittingScreen() override;
  void showLaunchingProductScreen() override;

 private:
  void alert(const std::string& line);

  std::mutex outputMutex_;  // held over each line's write
  std::atomic<int> alerts_{0};
  std::atomic<int> quitConfirmations_{0};
  std::atomic<bool> terminated_{false};
};
