#pragma once

#include <functional>
#include <string>

// The application's windows as the HTML interface mediator drives them: the main window, which
// holds the interface and sign-in pages, and the separate window of the type-3 sign-in page.
//
// Thread rules: showMainWindow, hideMainWindow and terminateApplication may be called from any
// thread (the first two return once the main thread has done them; on the main thread they act at
// once). Every other operation runs on the main thread only: from elsewhere, hand it to `post`.
// Nothing here fails; operations after the loop has ended do nothing.
namespace mediation {

enum class ShellWindow { kMain, kIdraType3 };

class IUiShell {
 public:
  using Task = std::function<void()>;

  virtual ~IUiShell() = default;

  // Sets the main window's title, localises the menus, shows the window and gives it the focus.
  virtual void showMainWindow(const std::string& title) = 0;
  virtual void hideMainWindow() = 0;
  // Raises the application and gives the main window the focus.
  virtual void bringWindowToFront() = 0;
  // Asks the application to end; the shell's quit guard decides (during installation the page
  // receives the cancel flow instead).
  virtual void terminateApplication() = 0;
  virtual void setCloseButtonEnabled(ShellWindow window, bool enabled) = 0;
  // Hides the main window and shows the type-3 window with the focus, and back.
  virtual void showIdraType3Window() = 0;
  virtual void hideIdraType3Window() = 0;
  virtual void setIdraType3WindowTitle(const std::string& title) = 0;
  // The type-3 window's content: the parent of the type-3 page. Owned by the shell; lives until
  // the application ends.
  virtual void* idraType3ContentView() = 0;

  // Runs `task` on the main thread after every task posted before it. False, the task dropped,
  // once the loop has ended.
  virtual bool post(Task task) = 0;
};

}  // namespace mediation
