#pragma once

#include <functional>
#include <string>
#include <utility>

#include "core/install/InstallLocation.h"
#include "mediation/ui/MainThread.h"
#include "mediation/view/InstallLocationBrowser.h"

typedef struct _GtkWidget GtkWidget;

// The folder chooser for the installation folder: one dialog on the main thread, modal to the
// installer's window and transient for it, showing only folders that are not packages, then the
// install-location check of the folder chosen.
//
// Thread rules: any thread; blocks until the dialog closes. Only one browse runs at a time.
namespace mediation {

// The installer's window, asked for on the main thread each time the dialog opens; the window
// must stay until the dialog has closed. Empty, or null returned: a dialog of its own.
using ParentWindow = std::function<GtkWidget*()>;

struct BrowseResult {
  bool succeeded = true;          // false only when a folder was chosen and failed the check
  std::string installPath;        // the folder chosen, or the start path
  std::string displayPath;        // the same in composed (NFC) form
  std::string errorNumber = "0";  // the check's number when it failed
};

// Cancelling, or no toolkit loop to show the dialog in (the silent copy), gives success with the
// start path and "0". A start path that is not a folder opens the dialog in the Applications
// folder. `title` is the dialog's title and its accept button's label.
BrowseResult browseForInstallLocation(const std::string& startPath, const std::string& title,
                                      MainThread& mainThread, const InstallLocationProbe& probe,
                                      const ParentWindow& parent);

// The chooser behind the page's "change location" button: browseForInstallLocation above, its
// result in the mediator's terms. `mainThread` must outlive the object.
class FolderLocationBrowser final : public IInstallLocationBrowser {
 public:
  FolderLocationBrowser(MainThread& mainThread, InstallLocationProbe probe, ParentWindow parent)
      : mainThread_(mainThread), probe_(std::move(probe)), parent_(std::move(parent)) {}

  bool browseForInstallLocation(std::string& path, std::string& errorNumber,
                                const std::string& title) override;

 private:
  MainThread& mainThread_;
  const InstallLocationProbe probe_;
  const ParentWindow parent_;
};

}  // namespace mediation
