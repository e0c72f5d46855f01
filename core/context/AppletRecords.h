#pragma once

#include <string>

// The records the installer core and the applet host pass to each other. Texts are pointers to
// NUL-terminated text that belong to whoever made the record and live only for the call that
// hands it over; the receiver copies what it keeps.

// What an AppsPanelProgress reports; a type not named here counts as progress.
enum AppsPanelProgressType : int {
  kAppsPanelProgress = 0,
  kAppsPanelDone = 3,
  kAppsPanelError = 4,
  kAppsPanelParameters = 5,
};

// A progress report of the product installation. Texts may be null.
struct AppsPanelProgress {
  float progress = 0;             // percent over all products
  int type = kAppsPanelProgress;  // an AppsPanelProgressType
  int errorCode = 0;
  bool isErrorResumable = false;
  const char* suberrorCode = nullptr;
  const char* moreInfoLink = nullptr;
  const char* errorParamXML = nullptr;  // XML, such as <errorParams><driveName>
};

// The product installation's callback; runs on the applet host's thread. The result is ignored.
using ProductProgressCallback = int (*)(AppsPanelProgress* progress);

// The start record of the product installation, in the order the core fills it.
struct ProductInstallArgs {
  ProductProgressCallback progressCallback = nullptr;
  const char* configXml = nullptr;    // the configuration as "<config/>" XML
  const char* userProfile = nullptr;  // the signed-in user's profile JSON
  const char* tempLocation = nullptr;
  const char* installHelperPipeName = nullptr;
  const char* proxyUserName = nullptr;  // null when there is none
  const char* proxyPassword = nullptr;  // null when the user name or the password is empty
  int reserved = 0;
  const char* locale = nullptr;
};

// A user's answer to the product installation: "retry" or "cancel". Absent members are null.
struct AppletUserAction {
  const char* action = nullptr;
  const char* proxyUserName = nullptr;
  const char* proxyPassword = nullptr;
  const char* installLocation = nullptr;
};

// What the applet host knows of the installed desktop application.
struct AppletProductInfo {
  std::string launchPath;  // its executable; empty when unknown
};
