#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/context/ApplicationContext.h"
#include "core/workflow/WorkflowBlocks.h"
#include "foundation/json/Value.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/NativeLibrary.h"
#include "mediation/ui/HtmlViewTester.h"
#include "mediation/ui/ViewMediatorUI.h"

// Inside the interface mediator: the state its queued tasks and page callbacks reach, shared by
// its source files. Not for other components.
namespace mediation {

namespace mediator_detail {

inline constexpr pando::ComponentLog kLog{"ViewMediatorUI"};

// Screen ids the workflow reports.
constexpr int kScreenBeforeSignIn = code(ScreenId::kSpinnerBetweenWelcomeAndSignIn);
constexpr int kScreenSignIn = code(ScreenId::kSignIn);
constexpr int kScreenAfterSignIn = code(ScreenId::kSpinnerAfterSignIn);
constexpr int kScreenMain = code(ScreenId::kMain);

inline void sendEvent(const std::string& eventType) {
  if (auto analytics = ApplicationContext::GetAnalytics()) analytics->sendServiceEvent(eventType);
}

}  // namespace mediator_detail

struct ViewMediatorUI::State {
  State(HtmlInterfacePorts ports, const ViewMediatorUISettings& chosen)
      : makeView(std::move(ports.makeView)),
        shell(ports.shell),
        dock(ports.dock ? std::move(ports.dock) : std::make_unique<NullDockProgress>()),
        settings(chosen),
        estimator(*chosen.clock) {}

  // Hands a page to the test hook, when one registered.
  void registerView(const char* name, HtmlView* view) const {
    if (testHook.isLoaded() && registerFn && view) registerFn(name, view);
  }

  ViewMediatorUI* owner = nullptr;  // null once the mediator is going; main thread
  const HtmlViewFactory makeView;
  IUiShell* const shell;
  const std::unique_ptr<IDockProgress> dock;
  const ViewMediatorUISettings settings;
  ProgressEstimator estimator;

  std::atomic<VisibleView> visible{VisibleView::kMain};
  std::atomic<bool> idraFailed{false};
  std::atomic<bool> idraType3Failed{false};

  mutable std::mutex mapMutex;
  Json::Value localization;  // guarded by mapMutex
  Json::Value english;       // for the texts the locale's lacks; guarded by mapMutex

  // Main thread only. The hook is declared before the pages so that the pages go first.
  NativeLibrary testHook;
  RegisterHtmlViewFn registerFn = nullptr;
  std::unique_ptr<HtmlView> mainView;
  std::unique_ptr<HtmlView> idraView;
  std::unique_ptr<HtmlView> idraType3View;
};

}  // namespace mediation
