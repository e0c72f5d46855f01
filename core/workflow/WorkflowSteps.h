#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/context/AppletRecords.h"
#include "core/context/ContextParts.h"
#include "core/workflow/WorkflowBlocks.h"

// What the install side reads and writes of the workflow, and nothing more: the state block's
// fields, its errors and the product installation's alerts, as the workflow carries them. The
// workflow implements it; tests pass a small fake. Any thread; the workflow outlives every step
// part it was given.
class IInstallWorkflow {
 public:
  virtual ~IInstallWorkflow() = default;

  virtual WorkflowStateBlock stateBlock() const = 0;
  virtual WorkflowState stateCode() const = 0;
  virtual void setStateCode(WorkflowState state) = 0;
  virtual UIAction uiAction() const = 0;
  virtual UIFlag uiFlags() const = 0;
  virtual void setUIFlags(UIFlag flags) = 0;
  // Stores the status as the block's error and as the last error (0: the work goes on).
  virtual void setErrorCode(int status) = 0;
  // Raises the status's alert (blocking the workflow until the user answers) and sends the block.
  virtual void setError(int status, bool retry) = 0;
  virtual void syncState() = 0;
  // True once the workflow is being stopped.
  virtual bool stopping() const = 0;
  // The installer library's progress, percent; shown when above what was shown before.
  virtual void reportTarnProgress(int progress) = 0;
  // Gives back the bootstrapper and installer-family locks; a second call releases nothing.
  virtual void releaseLocks() = 0;
  // Hands the applet host a user action ("retry", "cancel") with the proxy, and the install
  // location when asked.
  virtual void sendProductUserAction(const std::string& action, bool withLocation) = 0;
  // Shows the alert for a failed product installation, or retries with the stored proxy.
  virtual void handleProductInstallError(const AppsPanelProgress& record) = 0;
};

// The steps the workflow hands to the install side, each behind a small interface that its own
// component implements. The base classes are the stand-ins: nothing is installed, every check
// passes and every fetch fails. Called on the workflow thread unless said otherwise.

// What the package service's applications document says of the desktop application.
struct TarnApplication {
  std::string installerLibraryVersion;
  std::string installerLibraryManifestUrl;
  std::string desktopAppXml;
  std::string desktopAppVersion;  // the version being downloaded
  uint64_t totalAssetSize = 0;
};

// The desktop application: the applications document, the installer library and the install
// thread. A failing download reports its error through IInstallWorkflow::setError itself.
class IDesktopAppInstall {
 public:
  virtual ~IDesktopAppInstall() = default;
  // Downloads the applications document; `path` gets where it was stored.
  virtual bool downloadApplicationsDocument(IInstallWorkflow& /*workflow*/, std::string& /*path*/) {
    return false;
  }
  virtual bool readApplicationsDocument(const std::string& /*path*/, TarnApplication& /*out*/) {
    return false;
  }
  // Checks, downloads and validates the installer library.
  virtual bool acquireInstallerLibrary(IInstallWorkflow& /*workflow*/,
                                       const TarnApplication& /*application*/) {
    return false;
  }
  // Starts the install thread, which moves the workflow on from kDesktopAppInstall itself. False
  // when it could not be started.
  virtual bool startInstallWorkflow(IInstallWorkflow& /*workflow*/) { return false; }
  // Waits for the install thread, if one ran. Any thread but the install thread.
  virtual void joinInstallThread() {}
  // The installer status code's name, for analytics.
  virtual std::string codeToText(int code) { return std::to_string(code); }
};

// The products, installed through the applet host on a thread of their own.
class IProductInstall {
 public:
  virtual ~IProductInstall() = default;
  // Starts the product-install thread, whose callback moves the workflow on from kProductInstall.
  virtual bool startProductInstallWorkflow(IInstallWorkflow& /*workflow*/) { return false; }
  // Waits for the product-install thread, if one ran. Any thread but that one.
  virtual void joinProductInstallThread() {}
  // "" or "0" when the folder may take the products, else the error number of the location.
  virtual std::string validateInstallLocation(const std::string& /*location*/) { return ""; }
};

// The launch of the installed desktop application and the clean-up after it.
class IDesktopAppLaunch {
 public:
  virtual ~IDesktopAppLaunch() = default;
  virtual void launchDesktopApp() {}
  virtual void loadLaunchAgent() {}
  // Gives back the desktop-application installation lock, when the install side holds it.
  virtual void releaseInstallLock() {}
  // Unmounts the installer's disk image from a temporary copy of the installer.
  virtual void relaunchFromTempLocation() {}
};

// The user's stored choices: visitor id, privacy notice, saved proxy credentials.
class IUserChoices {
 public:
  virtual ~IUserChoices() = default;
  virtual void updateVisitorId() {}
  virtual bool privacyNoticeAccepted() { return true; }
  virtual void storePrivacyNotice() {}
  // False, `out` untouched, when none are stored.
  virtual bool readProxyCredentials(ProxyCredentials& /*out*/) { return false; }
  virtual void saveProxyCredentials(const ProxyCredentials& /*credentials*/) {}
};

// The compatibility check of the machine against the products.
class ICompatibility {
 public:
  virtual ~ICompatibility() = default;
  virtual void fetchHardwareSummary() {}
  virtual void fetchCompatibilityScript() {}
  // True to go on; false with the alert's text, and whether it is only a warning.
  virtual bool checkCompatibility(std::string& /*alertText*/, bool& /*warnOnly*/) { return true; }
  // What ends a running check early: the workflow's quit. Set once, before the workflow starts;
  // asked on the workflow thread.
  virtual void setQuitCheck(std::function<bool()> /*quitting*/) {}
};

// The step parts one workflow owns; each defaults to its stand-in.
struct WorkflowSteps {
  std::unique_ptr<IDesktopAppInstall> desktopApp = std::make_unique<IDesktopAppInstall>();
  std::unique_ptr<IProductInstall> products = std::make_unique<IProductInstall>();
  std::unique_ptr<IDesktopAppLaunch> launch = std::make_unique<IDesktopAppLaunch>();
  std::unique_ptr<IUserChoices> choices = std::make_unique<IUserChoices>();
  std::unique_ptr<ICompatibility> compatibility = std::make_unique<ICompatibility>();
};
