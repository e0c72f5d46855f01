#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/context/ContextParts.h"
#include "mediation/ui/HtmlView.h"
#include "mediation/ui/IDockProgress.h"
#include "mediation/ui/IUiShell.h"
#include "mediation/ui/ProgressEstimator.h"
#include "mediation/view/ViewMediatorBase.h"

// The view mediator of the user's process: the interface page, the identity service's sign-in page
// (both in the main window) and the type-3 sign-in page (in a window of its own). It turns the
// workflow's view commands into page messages, the page's messages into workflow actions (or
// packets for the elevated copy while the workflow runs an administrator step; the folder chooser
// of "locationChangeClicked" still opens here then, and the packet carries its answer), watches the
// sign-in pages for the addresses that end or redirect the sign-in, answers the page's
// "documentReady" with "initialize" and starts the workflow, and folds both install phases into
// one progress bar with a shrinking time-left range.
//
// Threads: the constructor, createMainViews, createIdraType3View, initialize, showMainView, the
// page callbacks and onMessageFromView run on the main thread. sendMessageToView and the other
// IViewMediator operations may be called from any thread (the workflow, the install callbacks,
// the gateway's worker); their window operations and page messages reach the main thread through
// the shell's one FIFO, so a window switch and the page messages sent around it keep their order.
// Destroy the mediator on the main thread; tasks it queued and that have not run by then do
// nothing. The shell outlives the mediator.
namespace mediation {

// What the mediator drives, supplied by the application shell.
struct HtmlInterfacePorts {
  HtmlViewFactory makeView;             // one handle per page
  IUiShell* shell = nullptr;            // outlives the mediator
  std::unique_ptr<IDockProgress> dock;  // null: no dock progress
};

// Where the mediator finds what the product fixes; tests pass their own.
struct ViewMediatorUISettings {
  const MonotonicSeconds* clock = &MonotonicSeconds::steady();
  // The test hook; "": "HTMLViewTester.dylib" in the product's Application Support folder.
  std::string testHookPath;
  // The installer web host's base address, ending in "/"; "": the service hosts' sentinel root
  // of the configured environment.
  std::string sentinelRoot;
  ViewMediatorSettings base;
};

class ViewMediatorUI final : public ViewMediatorBase {
 public:
  // Which page the user sees.
  enum class VisibleView { kMain = 0, kIdra = 1, kIdraType3 = 2 };

  // Loads the test hook when one is present and hands it the process's arguments.
  ViewMediatorUI(int argc, char** argv, HtmlInterfacePorts ports,
                 std::shared_ptr<IInstallLocationBrowser> browser = nullptr,
                 ViewMediatorUISettings settings = {});
  // Finalises and unloads the test hook, then releases the views.
  ~ViewMediatorUI() override;
  ViewMediatorUI(const ViewMediatorUI&) = delete;
  ViewMediatorUI& operator=(const ViewMediatorUI&) = delete;

  void sendMessageToView(const std::string& name, const std::string& data) override;
  void onMessageFromView(const std::string& name, const std::string& data) override;
  void terminateApplication() override;
  void showSignInView() override;
  std::string getLocalizedText(const std::string& key) override;
  void showMainWindow(const std::string& title) override;
  void hideMainWindow() override;
  void setProxyCredentials(const std::string& userName, const std::string& password) override;

  // Makes the interface page (loaded from `mainUrl`, shown) and the hidden sign-in page inside
  // `parent`, and registers both with the test hook. Once, when the application has launched.
  void createMainViews(void* parent, const std::string& mainUrl);
  // Replaces the type-3 page with a new one in the shell's type-3 window and loads `url` into it.
  void createIdraType3View(const std::string& url, const std::string& title);
  // The answer to the page's "documentReady": sends "initialize", starts the workflow and shows
  // the main window.
  void initialize();
  // Hides the sign-in pages and shows the interface page.
  void showMainView();
  // One progress message of either phase (the silent one kNotReporting): the page gets
  // "updateProgress" and the workflow mirrors the figures.
  void buildProgressMessage(int productProgress, int desktopProgress, bool cancelEnabled);

  VisibleView visibleView() const;

  // The sign-in page reached `url` (`failure`: through a load error or warning). True when the
  // address was acted on. Main thread.
  bool handleLoadComplete(const std::string& url, bool failure);
  void handleIdraType3LoadComplete(const std::string& url);

 private:
  struct State;
  struct PageCallbacks;
  friend struct PageCallbacks;

  // Runs `task` on the main thread after everything posted before it, unless the mediator has
  // gone by then.
  void post(std::function<void(State&)> task) const;
  void passToPage(const std::string& name, const std::string& data);
  void updateWeightage(const std::string& data);
  void loadIntoIdraView(const std::string& url);
  void openInBrowser(const std::string& url);
  void acceptDeviceToken(const std::string& url, const std::string& token);
  void rejectRedirect(const std::string& url);
  void failSignInPage(int kind);
  void onMainLoadError(int kind, const std::string& url, int code);
  void onIdraLoadError(int kind, const std::string& url, int code);
  void onIdraType3LoadError(int kind, const std::string& url, int code);
  bool forwardsToElevatedCopy(const std::string& name) const;
  void changeLocationForElevatedCopy(const std::string& data);
  std::string sentinelRoot() const;
  WorkflowManager* workflowManager() const;

  std::shared_ptr<State> state_;
};

// Puts the user's process's mediator into the application context: the factory returned builds
// ViewMediatorUI on the ports `ports` supplies when asked for the mediator of the user's process,
// and leaves every other part to `inner`.
std::unique_ptr<IContextPartsFactory> withHtmlInterface(
    std::unique_ptr<IContextPartsFactory> inner, std::function<HtmlInterfacePorts()> ports,
    std::shared_ptr<IInstallLocationBrowser> browser = nullptr);

}  // namespace mediation
