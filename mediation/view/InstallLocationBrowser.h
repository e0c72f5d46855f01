#pragma once

#include <string>

// The folder chooser behind the page's "change location" button. Blocks its caller until the
// chooser closes; called on the thread that dispatches view messages.
class IInstallLocationBrowser {
 public:
  virtual ~IInstallLocationBrowser() = default;
  // True when the user cancelled (`path` unchanged) or chose a folder that may hold the
  // installation (`path` is that folder). False when the chosen folder may not: `path` is that
  // folder and `errorNumber` one of "1" to "6".
  virtual bool browseForInstallLocation(std::string& path, std::string& errorNumber,
                                        const std::string& title) = 0;
};
