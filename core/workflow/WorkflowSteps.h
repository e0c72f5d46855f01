#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/context/ContextParts.h"

class WorkflowManager;

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
// thread. A failing download reports its error through WorkflowManager::setError itself.
class IDesktopAppInstall {
 public:
  virtual ~IDesktopAppInstall() = default;
  // Downloads the applications document; `path` gets where it was stored.
  virtual bool downloadApplicationsDocument(WorkflowManager& /*workflow*/, std::string& /*path*/) {
    return false;
  }
  virtual bool readApplicationsDocument(const std::string& /*path*/, TarnApplication& /*out*/) {
    return false;
  }
  // Checks, downloads and validates the installer library.
  virtual bool acquireInstallerLibrary(WorkflowManager& /*workflow*/,
                                       const TarnApplication& /*application*/) {
    return false;
  }
  // Starts the install thread, which moves the workflow on from 0x1606 itself. False when it
  // could not be started.
  virtual bool startInstallWorkflow(WorkflowManager& /*workflow*/) { return false; }
  // Waits for the install thread, if one ran. Any thread but the install thread.
  virtual void joinInstallThread() {}
  // The installer status code's name, for analytics.
  virtual std::string codeToText(int code) { return std::to_string(code); }
};

// The products, installed through the applet host on a thread of their own.
class IProductInstall {
 public:
  virtual ~IProductInstall() = default;
  // Starts the product-install thread, whose callback moves the workflow on from 0x1A05.
  virtual bool startProductInstallWorkflow(WorkflowManager& /*workflow*/) { return false; }
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
