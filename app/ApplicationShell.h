#pragma once

#include <memory>

#include "core/context/ContextParts.h"
#include "mediation/ui/MainThread.h"

class ApplicationContext;
namespace mediation {
class GtkUiShell;
}  // namespace mediation

// The user's process's interface on GTK: the main-thread queue, the two windows, the web views,
// the icon's progress bar and the install-location chooser, which the HTML interface's mediator
// drives; and the toolkit loop. Quitting (Ctrl+Q, the menu, SIGTERM, the main window's close
// button) ends the loop once the workflow has reached a final state; before that the page gets
// "cancelButtonClicked". Closing the type-3 sign-in window goes back to the spinner and starts
// the sign-in step again.
//
// Thread rules: made, opened, run and destroyed on the main thread. The shell must outlive the
// application context's teardown, which destroys the mediator that points at its windows: make
// it before the context and let it go after ApplicationContext::Destroy.
class ApplicationShell {
 public:
  ApplicationShell();
  ~ApplicationShell();
  ApplicationShell(const ApplicationShell&) = delete;
  ApplicationShell& operator=(const ApplicationShell&) = delete;

  // `inner` with the user's process's mediator built on this shell's windows; every other part,
  // the silent mediator included, is left to `inner`. The user's mediator may be asked for only
  // once open has succeeded.
  std::unique_ptr<IContextPartsFactory> withInterface(std::unique_ptr<IContextPartsFactory> inner);

  // Connects to the display and makes the windows. False, with a message on standard error, when
  // there is no display. Once, after the context has been initialised and before its mediator is
  // made; `context` must outlive the loop.
  bool open(ApplicationContext& context);

  // Runs the toolkit loop until the application may end, then fails every later request for the
  // main thread, waking those that wait. The process's exit status: 0, or 1 when open has not
  // succeeded.
  int run();

  // For tests: the windows; null before open.
  mediation::GtkUiShell* windows();

 private:
  struct Session;

  mediation::MainThread mainThread_;
  std::unique_ptr<Session> session_;  // made by open
};

// The exit status of the user's process when it has no display.
constexpr int kNoDisplayExitStatus = 1;
