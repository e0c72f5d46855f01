#pragma once

#include <functional>
#include <string>

#include "mediation/view/InstallLocationBrowser.h"

namespace wendtest {

// The folder chooser's answer, scripted. The thread that dispatches the page's messages.
class ScriptedBrowser final : public IInstallLocationBrowser {
 public:
  bool browseForInstallLocation(std::string& path, std::string& errorNumber,
                                const std::string& title) override {
    ++opened;
    shownTitle = title;
    if (whileOpen) whileOpen();
    if (!chosen.empty()) path = chosen;
    errorNumber = error;
    return fits;
  }
  std::string chosen;  // "" is a cancel
  std::string error;
  bool fits = true;
  std::function<void()> whileOpen;  // what happens elsewhere while the chooser is open
  int opened = 0;
  std::string shownTitle;
};

}  // namespace wendtest
