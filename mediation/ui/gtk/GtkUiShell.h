#pragma once

#include <functional>
#include <string>

#include "mediation/ui/IUiShell.h"
#include "mediation/ui/MainThread.h"

typedef struct _GtkWidget GtkWidget;

// The application's windows on GTK: the main window, whose content holds the interface and sign-in
// pages, and the type-3 sign-in window. Quitting (Ctrl+Q, the menu, SIGTERM, closing the main
// window, terminateApplication) ends the toolkit loop only when the workflow allows it; otherwise
// the page's cancel flow starts and the window stays.
//
// Thread rules: made and destroyed on the main thread, inside or before its toolkit loop; the
// IUiShell operations as that interface says. The handlers run on the main thread.
namespace mediation {

struct ShellHandlers {
  // The workflow has reached a state in which the application may end (FailedFinal, Final).
  std::function<bool()> mayEnd;
  // A quit request before that: the page's "cancelButtonClicked".
  std::function<void()> cancelRequested;
  // The user closed the type-3 window (it is already hidden and the main window shown).
  std::function<void()> idraType3Closed;
  // Menu texts by key ("Menu" + the item's title) and the product name for "{0}".
  std::function<std::string(const std::string& key)> localizedText;
  std::string productName;
};

class GtkUiShell final : public IUiShell {
 public:
  GtkUiShell(MainThread& mainThread, ShellHandlers handlers);
  ~GtkUiShell() override;
  GtkUiShell(const GtkUiShell&) = delete;
  GtkUiShell& operator=(const GtkUiShell&) = delete;

  // The main window's content: the parent of the main and sign-in pages. Owned by the shell.
  void* mainContentView();
  // Quits when the workflow allows it, else starts the cancel flow. Main thread.
  void requestTermination();

  void showMainWindow(const std::string& title) override;
  void hideMainWindow() override;
  void bringWindowToFront() override;
  void terminateApplication() override;
  void setCloseButtonEnabled(ShellWindow window, bool enabled) override;
  void showIdraType3Window() override;
  void hideIdraType3Window() override;
  void setIdraType3WindowTitle(const std::string& title) override;
  void* idraType3ContentView() override;
  bool post(Task task) override;

  // The two windows, owned by the shell. Main thread.
  GtkWidget* mainWindow() const { return mainWindow_; }
  GtkWidget* idraType3Window() const { return type3Window_; }

 private:
  void localizeMenus();
  static int type3DeleteEvent(GtkWidget* window, void* event, void* shell);

  MainThread& mainThread_;
  const ShellHandlers handlers_;
  GtkWidget* mainWindow_ = nullptr;  // ours until destroyed
  GtkWidget* mainContent_ = nullptr;
  GtkWidget* menuBar_ = nullptr;
  GtkWidget* type3Window_ = nullptr;
  GtkWidget* type3Content_ = nullptr;
  unsigned terminationSource_ = 0;  // the SIGTERM watch
};

}  // namespace mediation
