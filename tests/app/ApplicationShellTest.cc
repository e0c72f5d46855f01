// The user's process's windows wired to a real application context (its workflow manager and
// the HTML interface's mediator) on the fixture's display, and the program without a display.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "app/ApplicationShell.h"
#include "mediation/ui/gtk/GtkUiShell.h"
#include "tests/core/context/support/ContextFixture.h"
#include "tests/core/launch/support/ProgramRun.h"
#include "tests/mediation/ui/gtk/support/Display.h"

namespace {

constexpr int kQuitRequested = 4;  // the workflow's UI action for the page's cancel

// First in the file, before any other suite opens the display in this process.
class ApplicationShellLocaleTest : public wendtest::ContextTest {};

// The rest of the process reads and writes numbers in the C locale: opening the display keeps
// it, whatever the user's locale.
TEST_F(ApplicationShellLocaleTest, OpeningTheDisplayKeepsTheCLocale) {
  std::string display;
  std::ifstream(WEND_DISPLAY_FILE) >> display;
  ASSERT_FALSE(display.empty());
  wendtest::ScopedEnv screen("DISPLAY", ":" + display);
  wendtest::ScopedEnv locale("LC_ALL", "C.UTF-8");
  ASSERT_TRUE(initialize({}));
  ApplicationShell shell;
  ASSERT_TRUE(shell.open(*ApplicationContext::GetInstance()));
  EXPECT_STREQ(setlocale(LC_ALL, nullptr), "C");
}

class ApplicationShellTest : public wendtest::ContextTest {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE; }

  std::unique_ptr<IContextPartsFactory> parts() override {
    return shell_.withInterface(ContextTest::parts());
  }

  // The order of main: the context, the windows, then the mediator and the workflow.
  ApplicationContext& start() {
    EXPECT_TRUE(initialize({}));
    ApplicationContext& context = *ApplicationContext::GetInstance();
    EXPECT_TRUE(shell_.open(context));
    char program[] = "Install";
    char* argv[] = {program};
    EXPECT_TRUE(context.InitMessageGateway(1, argv));
    EXPECT_TRUE(context.workflowManager);
    return context;
  }

  // Runs the shell with `steps` queued at idle priority, one per turn, each tried again until it
  // answers true; the last one should end the loop. The shell's exit status.
  using Step = std::function<bool()>;
  int run(std::vector<Step> steps) {
    struct Sequence {
      std::vector<Step> steps;
      size_t next = 0;
    } sequence{std::move(steps)};
    guint source = g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer data) -> gboolean {
          auto& s = *static_cast<Sequence*>(data);
          if (s.next < s.steps.size() && s.steps[s.next]()) ++s.next;
          return s.next < s.steps.size() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        &sequence, nullptr);
    const int status = shell_.run();
    EXPECT_EQ(sequence.next, sequence.steps.size());
    if (sequence.next < sequence.steps.size()) g_source_remove(source);
    return status;
  }

  // A quit by each route while the workflow may not end: the page's cancel reaches the workflow.
  std::vector<Step> quitsThatCancel(WorkflowManager& workflow) {
    GtkWidget* window = shell_.windows()->mainWindow();
    std::vector<Step> steps;
    for (const std::function<void()>& quit : std::vector<std::function<void()>>{
             [] { raise(SIGTERM); },
             [window] { gtk_accel_groups_activate(G_OBJECT(window), GDK_KEY_q, GDK_CONTROL_MASK); },
             [window] { deleteEvent(window); }}) {
      steps.push_back([&workflow, quit] {
        workflow.setCurrentUIAction(UIAction::kNone);
        quit();
        return true;
      });
      steps.push_back([&workflow] { return workflow.stateBlock().uiAction == kQuitRequested; });
    }
    return steps;
  }

  static void deleteEvent(GtkWidget* window) {
    gtk_widget_realize(window);
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }

  ApplicationShell shell_;  // outlives the context, which the fixture destroys first
};

TEST_F(ApplicationShellTest, QuitCancelsUntilTheFailedFinalStateThenEndsTheLoop) {
  ApplicationContext& context = start();
  WorkflowManager& workflow = *context.workflowManager;
  workflow.setStateCode(WorkflowState::kProductInstall);
  shell_.windows()->showMainWindow("Install");  // as the page's "documentReady" would
  std::vector<Step> steps = quitsThatCancel(workflow);
  steps.push_back([&] {
    EXPECT_TRUE(gtk_widget_get_visible(shell_.windows()->mainWindow()));
    workflow.setStateCode(WorkflowState::kFailedFinal);
    raise(SIGTERM);
    return true;
  });
  EXPECT_EQ(run(std::move(steps)), 0);

  // The loop has ended: a window operation from another thread fails instead of waiting.
  std::thread late([&] { shell_.windows()->showMainWindow("late"); });
  late.join();
  EXPECT_STRNE(gtk_window_get_title(GTK_WINDOW(shell_.windows()->mainWindow())), "late");
}

TEST_F(ApplicationShellTest, ClosingTheType3WindowRestartsTheSignInAndTheFinalStateEnds) {
  ApplicationContext& context = start();
  WorkflowManager& workflow = *context.workflowManager;
  workflow.setStateCode(WorkflowState::kSignInPage);
  mediation::GtkUiShell& windows = *shell_.windows();
  EXPECT_EQ(run({[&] {
              windows.showIdraType3Window();
              deleteEvent(windows.idraType3Window());
              EXPECT_EQ(workflow.stateCode(), WorkflowState::kSignIn);
              EXPECT_TRUE(gtk_widget_get_visible(windows.mainWindow()));
              workflow.setStateCode(WorkflowState::kFinal);
              deleteEvent(windows.mainWindow());
              return true;
            }}),
            0);
  EXPECT_EQ(workflow.stateBlock().uiAction, 0);
}

// The page's "change location" opens the chooser over the installer's window, tied to it.
TEST_F(ApplicationShellTest, TheFolderChooserIsTransientForTheMainWindow) {
  ApplicationContext& context = start();
  WorkflowManager& workflow = *context.workflowManager;
  workflow.setStateCode(WorkflowState::kSignIn);
  mediation::GtkUiShell& windows = *shell_.windows();
  struct Seen {
    bool shown = false;
    GtkWindow* parent = nullptr;
  } seen;
  // Cancels the chooser once it is up, noting what it is transient for.
  GSourceFunc cancel = [](gpointer data) -> gboolean {
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* chooser = nullptr;
    for (GList* item = toplevels; item; item = item->next) {
      GtkWidget* window = GTK_WIDGET(item->data);
      if (GTK_IS_FILE_CHOOSER_DIALOG(window) && gtk_widget_get_visible(window)) chooser = window;
    }
    g_list_free(toplevels);
    if (!chooser) return G_SOURCE_CONTINUE;
    auto& out = *static_cast<Seen*>(data);
    out.shown = true;
    out.parent = gtk_window_get_transient_for(GTK_WINDOW(chooser));
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
  };
  EXPECT_EQ(run({[&] {
              const guint source = g_timeout_add(20, cancel, &seen);
              context.viewMediator->onMessageFromView("locationChangeClicked",
                                                      R"({"alertTitle":"T","alertText":"X"})");
              if (!seen.shown) g_source_remove(source);
              workflow.setStateCode(WorkflowState::kFinal);
              deleteEvent(windows.mainWindow());
              return true;
            }}),
            0);
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.parent, GTK_WINDOW(windows.mainWindow()));
}

// Without a display the user's process says so and ends with 1, before any other process.
TEST(ApplicationProgram, WithoutADisplayEndsWithOne) {
  wendtest::TemporaryFolder root;
  std::filesystem::create_directories(root / "tmp");
  wendtest::ProgramRun::Changes changes = wendtest::privateRootChanges(root.path());
  changes.insert({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  wendtest::ProgramRun program({WEND_INSTALL_BUNDLE "/Contents/MacOS/Install"}, changes);
  EXPECT_EQ(program.finish(), 1);
}

}  // namespace
