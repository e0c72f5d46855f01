#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>

#include "mediation/ui/gtk/FolderBrowser.h"
#include "platform/system/SpecialFolders.h"
#include "tests/mediation/ui/gtk/support/Display.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace mediation {
namespace {

// Plays the user: once the chooser is up, notes the folder it opened in and how it looks, moves to
// `folder` (when set) and answers with `response`.
struct DialogAnswer {
  std::string folder;
  int response = GTK_RESPONSE_CANCEL;
  std::string openedIn;
  bool answered = false;
  struct Look {
    GtkWindow* parent = nullptr;  // what the chooser is transient for
    bool modal = false;
    std::string title, acceptLabel;
  } seen{};

  void look(GtkFileChooser* chooser) {
    GtkWindow* window = GTK_WINDOW(chooser);
    seen.parent = gtk_window_get_transient_for(window);
    seen.modal = gtk_window_get_modal(window);
    const gchar* title = gtk_window_get_title(window);
    seen.title = title ? title : "";
    GtkWidget* accept =
        gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    const gchar* label = accept ? gtk_button_get_label(GTK_BUTTON(accept)) : nullptr;
    seen.acceptLabel = label ? label : "";
  }

  static GtkFileChooser* openChooser() {
    GtkFileChooser* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
      if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) &&
          gtk_widget_get_visible(GTK_WIDGET(item->data))) {
        found = GTK_FILE_CHOOSER(item->data);
      }
    }
    g_list_free(windows);
    return found;
  }

  static std::string currentFolder(GtkFileChooser* chooser) {
    gchar* folder = gtk_file_chooser_get_current_folder(chooser);
    std::string out = folder ? folder : "";
    g_free(folder);
    return out;
  }

  static gboolean poll(gpointer data) {
    auto& self = *static_cast<DialogAnswer*>(data);
    GtkFileChooser* chooser = openChooser();
    if (!chooser) return G_SOURCE_CONTINUE;
    if (self.openedIn.empty()) {
      self.openedIn = currentFolder(chooser);
      if (self.openedIn.empty()) return G_SOURCE_CONTINUE;
      self.look(chooser);
      if (!self.folder.empty()) gtk_file_chooser_set_current_folder(chooser, self.folder.c_str());
    }
    if (!self.folder.empty() && currentFolder(chooser) != self.folder) return G_SOURCE_CONTINUE;
    self.answered = true;
    gtk_dialog_response(GTK_DIALOG(chooser), self.response);
    return G_SOURCE_REMOVE;
  }
};

// Before any display is opened in this process (CTest runs each case in its own): the silent copy.
TEST(FolderBrowserWithoutDisplay, ActsAsCancelled) {
  MainThread mainThread;
  BrowseResult result = browseForInstallLocation("/start", "Choose", mainThread, {}, {});
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(result.installPath, "/start");
  EXPECT_EQ(result.errorNumber, "0");
}

class FolderBrowserTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE; }

  BrowseResult browse(const std::string& start, DialogAnswer& answer,
                      const std::string& title = "Choose", const ParentWindow& parent = {}) {
    guint source = g_timeout_add(20, DialogAnswer::poll, &answer);
    BrowseResult result = browseForInstallLocation(start, title, main_, probe_, parent);
    if (!answer.answered) g_source_remove(source);
    return result;
  }

  ~FolderBrowserTest() override { gtk_widget_destroy(installer_); }

  wendtest::TemporaryFolder root_;
  MainThread main_;
  InstallLocationProbe probe_;
  GtkWidget* const installer_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);  // the installer's window
};

TEST_F(FolderBrowserTest, ChosenFolderIsCheckedAndComposed) {
  std::string decomposed = root_ / "Cafe\xCC\x81";  // "e" and a combining acute accent
  std::filesystem::create_directory(decomposed);
  DialogAnswer answer{decomposed, GTK_RESPONSE_ACCEPT, "", false};
  BrowseResult result = browse(root_.path(), answer);
  EXPECT_EQ(answer.openedIn, root_.path());
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(result.installPath, decomposed);
  EXPECT_EQ(result.displayPath, root_ / "Caf\xC3\xA9");
  EXPECT_EQ(result.errorNumber, "0");
}

TEST_F(FolderBrowserTest, FolderThatFailsTheCheckGivesItsNumber) {
  DialogAnswer answer{"/", GTK_RESPONSE_ACCEPT, "", false};
  BrowseResult result = browse(root_.path(), answer);
  EXPECT_FALSE(result.succeeded);
  EXPECT_EQ(result.installPath, "/");
  EXPECT_EQ(result.errorNumber, "1");
}

TEST_F(FolderBrowserTest, CancelKeepsTheStartPath) {
  DialogAnswer answer;
  BrowseResult result = browse(root_.path(), answer);
  EXPECT_TRUE(answer.answered);
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(result.installPath, root_.path());
  EXPECT_EQ(result.displayPath, root_.path());
  EXPECT_EQ(result.errorNumber, "0");
}

TEST_F(FolderBrowserTest, MissingStartOpensTheApplicationsFolder) {
  wendtest::ScopedEnv scoped("WEND_ROOT", root_.path());
  std::string applications;
  ASSERT_TRUE(platform::specialFolderPath(0, applications));
  DialogAnswer answer;
  BrowseResult result = browse(root_ / "missing", answer);
  EXPECT_EQ(answer.openedIn, applications);
  EXPECT_EQ(result.installPath, root_ / "missing");
}

// Tied to the installer's window while there is one, as a modal chooser is; the title names the
// accept button too.
TEST_F(FolderBrowserTest, ChooserIsModalToTheInstallersWindow) {
  const struct {
    const char* title;
    GtkWidget* window;
    ParentWindow parent;
  } rows[] = {
      {"Choose", installer_, [this] { return installer_; }},
      {"Ausw\xC3\xA4hlen", nullptr, [] { return nullptr; }},
      {"Select", nullptr, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.title);
    DialogAnswer answer;
    browse(root_.path(), answer, row.title, row.parent);
    EXPECT_TRUE(answer.answered);
    EXPECT_EQ(answer.seen.parent, row.window ? GTK_WINDOW(row.window) : nullptr);
    EXPECT_TRUE(answer.seen.modal);
    EXPECT_EQ(answer.seen.title, row.title);
    EXPECT_EQ(answer.seen.acceptLabel, row.title);
  }
}

// The mediator's view of it: false only for a chosen folder that fails, which becomes the path.
TEST_F(FolderBrowserTest, LocationBrowserHandsTheMediatorPathAndNumber) {
  FolderLocationBrowser browser(main_, probe_, [this] { return installer_; });
  const struct {
    DialogAnswer answer;
    bool fits;
    std::string path, number;
  } rows[] = {
      {{"", GTK_RESPONSE_CANCEL, "", false}, true, root_.path(), "0"},
      {{"/", GTK_RESPONSE_ACCEPT, "", false}, false, "/", "1"},
  };
  for (auto row : rows) {
    std::string path = root_.path();
    std::string number = "unset";
    guint source = g_timeout_add(20, DialogAnswer::poll, &row.answer);
    EXPECT_EQ(browser.browseForInstallLocation(path, number, "Choose"), row.fits);
    if (!row.answer.answered) g_source_remove(source);
    EXPECT_EQ(path, row.path);
    EXPECT_EQ(number, row.number);
    EXPECT_EQ(row.answer.seen.parent, GTK_WINDOW(installer_));
  }
}

}  // namespace
}  // namespace mediation
