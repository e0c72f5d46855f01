#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

#include "mediation/ui/gtk/GtkUiShell.h"
#include "tests/mediation/ui/gtk/support/Display.h"

namespace mediation {
namespace {

class GtkUiShellTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE; }

  ShellHandlers handlers() {
    ShellHandlers h;
    h.mayEnd = [this] { return ended_; };
    h.cancelRequested = [this] { ++cancels_; };
    h.idraType3Closed = [this] { ++type3Closed_; };
    h.localizedText = [](const std::string& key) {
      return key == "MenuQuit {0}" ? std::string("Quit {0} now") : std::string();
    };
    h.productName = "Orvel";
    return h;
  }

  // Runs `steps` inside the toolkit loop, one per idle turn at low priority, so that what a step
  // set off (a signal, a posted task) is handled before the next one; a step that answers false
  // is tried again on the next turn. Then leaves the loop unless a step did. True when a step
  // ended the loop.
  using Step = std::function<bool()>;
  bool runLoop(std::vector<Step> steps) {
    struct Sequence {
      std::vector<Step> steps;
      size_t next = 0;
      guint source = 0;
      bool finished = false;
    } sequence{std::move(steps)};
    sequence.source = g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer data) -> gboolean {
          auto& s = *static_cast<Sequence*>(data);
          if (s.next < s.steps.size()) {
            if (s.steps[s.next]()) ++s.next;
            return G_SOURCE_CONTINUE;
          }
          s.finished = true;
          s.source = 0;
          gtk_main_quit();
          return G_SOURCE_REMOVE;
        },
        &sequence, nullptr);
    gtk_main();
    if (sequence.source) g_source_remove(sequence.source);
    return !sequence.finished;
  }
  static Step once(std::function<void()> action) {
    return [action] {
      action();
      return true;
    };
  }

  static void pressCtrlQ(GtkWidget* window) {
    gtk_accel_groups_activate(G_OBJECT(window), GDK_KEY_q, GDK_CONTROL_MASK);
  }
  static void closeWindow(GtkWidget* window) {
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  // SIGTERM reaches the loop through its signal watch; the handler runs on a later iteration.
  static void terminate() { raise(SIGTERM); }

  MainThread main_;
  bool ended_ = false;
  int cancels_ = 0;
  int type3Closed_ = 0;
  GtkUiShell shell_{main_, handlers()};
};

// Before the end each way to quit asks for the cancel flow and the window stays; at the end it
// leaves the loop (the step after it would wait for ever) and cancels nothing.
TEST_F(GtkUiShellTest, QuitStartsTheCancelFlowBeforeTheEndAndLeavesTheLoopAtIt) {
  shell_.showMainWindow("Installer");
  const std::vector<std::function<void()>> quits = {
      [&] { pressCtrlQ(shell_.mainWindow()); }, [&] { closeWindow(shell_.mainWindow()); },
      terminate, [&] { shell_.terminateApplication(); }};
  for (bool end : {false, true}) {
    ended_ = end;
    for (size_t i = 0; i < quits.size(); ++i) {
      const int cancels = end ? 4 : static_cast<int>(i) + 1;
      Step after = [this, end, cancels] { return !end && cancels_ == cancels; };
      EXPECT_EQ(runLoop({once(quits[i]), after}), end) << "quit " << i;
      EXPECT_EQ(cancels_, cancels) << "quit " << i;
    }
    if (!end) {
      EXPECT_TRUE(gtk_widget_get_visible(shell_.mainWindow()));
    }
  }
}

TEST_F(GtkUiShellTest, MainWindowFromAnotherThread) {
  std::thread worker;
  std::atomic<bool> shown{false};
  EXPECT_FALSE(runLoop({once([&] {
                          worker = std::thread([&] {
                            shell_.showMainWindow("Install Orvel");
                            shown = true;
                          });
                        }),
                        [&] { return shown.load(); }, once([&] {
                          EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(shell_.mainWindow())),
                                       "Install Orvel");
                          EXPECT_TRUE(gtk_widget_get_visible(shell_.mainWindow()));
                          worker.join();
                          worker = std::thread([&] {
                            shell_.hideMainWindow();
                            shown = false;
                          });
                        }),
                        [&] { return !shown.load(); }}));
  worker.join();
  EXPECT_FALSE(gtk_widget_get_visible(shell_.mainWindow()));
}

TEST_F(GtkUiShellTest, MenusAreLocalizedWhenTheWindowShows) {
  shell_.showMainWindow("Installer");
  GSList* accelerated = gtk_accel_groups_from_object(G_OBJECT(shell_.mainWindow()));
  ASSERT_NE(accelerated, nullptr);
  std::vector<std::string> labels;
  std::function<void(GtkWidget*)> walk = [&](GtkWidget* widget) {
    if (GTK_IS_MENU_ITEM(widget)) {
      labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(widget)));
      if (GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget))) walk(sub);
    } else if (GTK_IS_CONTAINER(widget)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
      for (GList* c = children; c; c = c->next) walk(GTK_WIDGET(c->data));
      g_list_free(children);
    }
  };
  walk(shell_.mainWindow());
  EXPECT_EQ(labels, (std::vector<std::string>{"Application", "Quit Orvel now"}));
}

TEST_F(GtkUiShellTest, ClosingTheType3WindowReturnsToTheMainWindow) {
  shell_.showMainWindow("Installer");
  shell_.setIdraType3WindowTitle("Sign in");
  shell_.showIdraType3Window();
  EXPECT_FALSE(gtk_widget_get_visible(shell_.mainWindow()));
  EXPECT_TRUE(gtk_widget_get_visible(shell_.idraType3Window()));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(shell_.idraType3Window())), "Sign in");
  runLoop({once([&] { closeWindow(shell_.idraType3Window()); })});
  EXPECT_EQ(type3Closed_, 1);
  EXPECT_EQ(cancels_, 0);
  EXPECT_FALSE(gtk_widget_get_visible(shell_.idraType3Window()));
  EXPECT_TRUE(gtk_widget_get_visible(shell_.mainWindow()));
  // The mediator hiding it is no user close.
  shell_.showIdraType3Window();
  shell_.hideIdraType3Window();
  EXPECT_EQ(type3Closed_, 1);
}

TEST_F(GtkUiShellTest, CloseButtonFollowsTheWorkflow) {
  shell_.setCloseButtonEnabled(ShellWindow::kMain, false);
  shell_.setCloseButtonEnabled(ShellWindow::kIdraType3, false);
  EXPECT_FALSE(gtk_window_get_deletable(GTK_WINDOW(shell_.mainWindow())));
  shell_.setCloseButtonEnabled(ShellWindow::kMain, true);
  EXPECT_TRUE(gtk_window_get_deletable(GTK_WINDOW(shell_.mainWindow())));
  EXPECT_FALSE(gtk_window_get_deletable(GTK_WINDOW(shell_.idraType3Window())));
}

}  // namespace
}  // namespace mediation
