#include "mediation/ui/gtk/GtkUiShell.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <vector>

#include "mediation/ui/MenuTitles.h"

namespace mediation {
namespace {

constexpr char kTitleKey[] = "wend-title";  // a menu item's title before localisation

gboolean onMainDelete(GtkWidget*, GdkEvent*, gpointer shell) {
  static_cast<GtkUiShell*>(shell)->requestTermination();
  return TRUE;  // the window stays; the loop ends through the termination path only
}

gboolean onTerminationSignal(gpointer shell) {
  static_cast<GtkUiShell*>(shell)->requestTermination();
  return G_SOURCE_CONTINUE;
}

void onQuitActivated(GtkMenuItem*, gpointer shell) {
  static_cast<GtkUiShell*>(shell)->requestTermination();
}

// The menu bar's items as a title tree and back, so the localisation stays toolkit-free.
void collect(GtkMenuShell* shell, std::vector<MenuTitle>& out, std::vector<GtkWidget*>& items) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child; child = child->next) {
    GtkWidget* widget = GTK_WIDGET(child->data);
    MenuTitle title;
    title.separator = GTK_IS_SEPARATOR_MENU_ITEM(widget);
    if (auto* original = static_cast<const char*>(g_object_get_data(G_OBJECT(widget), kTitleKey))) {
      title.title = original;
    }
    items.push_back(widget);
    GtkWidget* submenu =
        GTK_IS_MENU_ITEM(widget) ? gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget)) : nullptr;
    if (submenu) collect(GTK_MENU_SHELL(submenu), title.submenu, items);
    out.push_back(std::move(title));
  }
  g_list_free(children);
}

void applyTitles(const std::vector<MenuTitle>& titles, std::vector<GtkWidget*>::iterator& item) {
  for (const MenuTitle& title : titles) {
    GtkWidget* widget = *item++;
    if (!title.separator) gtk_menu_item_set_label(GTK_MENU_ITEM(widget), title.title.c_str());
    applyTitles(title.submenu, item);
  }
}

GtkWidget* menuItem(const char* title) {
  GtkWidget* item = gtk_menu_item_new_with_label(title);
  g_object_set_data_full(G_OBJECT(item), kTitleKey, g_strdup(title), g_free);
  return item;
}

}  // namespace

GtkUiShell::GtkUiShell(MainThread& mainThread, ShellHandlers handlers)
    : mainThread_(mainThread), handlers_(std::move(handlers)) {
  mainWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(mainWindow_);
  gtk_window_set_default_size(GTK_WINDOW(mainWindow_), 1024, 700);
  g_signal_connect(mainWindow_, "delete-event", G_CALLBACK(onMainDelete), this);

  GtkAccelGroup* accelerators = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(mainWindow_), accelerators);
  menuBar_ = gtk_menu_bar_new();
  GtkWidget* application = menuItem("Application");
  GtkWidget* menu = gtk_menu_new();
  GtkWidget* quit = menuItem("Quit {0}");
  gtk_widget_add_accelerator(quit, "activate", accelerators, GDK_KEY_q, GDK_CONTROL_MASK,
                             GTK_ACCEL_VISIBLE);
  g_signal_connect(quit, "activate", G_CALLBACK(onQuitActivated), this);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), quit);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(application), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menuBar_), application);
  g_object_unref(accelerators);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  mainContent_ = gtk_overlay_new();
  gtk_box_pack_start(GTK_BOX(box), menuBar_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), mainContent_, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(mainWindow_), box);
  gtk_widget_show_all(box);

  type3Window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(type3Window_);
  gtk_window_set_default_size(GTK_WINDOW(type3Window_), 600, 700);
  g_signal_connect(type3Window_, "delete-event", G_CALLBACK(GtkUiShell::type3DeleteEvent), this);
  type3Content_ = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(type3Window_), type3Content_);
  gtk_widget_show(type3Content_);

  terminationSource_ = g_unix_signal_add(SIGTERM, onTerminationSignal, this);
}

GtkUiShell::~GtkUiShell() {
  if (terminationSource_) g_source_remove(terminationSource_);
  for (GtkWidget* window : {mainWindow_, type3Window_}) {
    g_signal_handlers_disconnect_by_data(window, this);
    gtk_widget_destroy(window);
    g_object_unref(window);
  }
}

void* GtkUiShell::mainContentView() {
  return mainContent_;
}

void GtkUiShell::requestTermination() {
  if (handlers_.mayEnd && handlers_.mayEnd()) {
    if (gtk_main_level() > 0) gtk_main_quit();
    return;
  }
  if (handlers_.cancelRequested) handlers_.cancelRequested();
}

void GtkUiShell::localizeMenus() {
  if (!handlers_.localizedText) return;
  std::vector<MenuTitle> titles;
  std::vector<GtkWidget*> items;
  collect(GTK_MENU_SHELL(menuBar_), titles, items);
  localizeMenu(titles, handlers_.localizedText, handlers_.productName);
  auto item = items.begin();
  applyTitles(titles, item);
}

void GtkUiShell::showMainWindow(const std::string& title) {
  mainThread_.invokeSync([this, title] {
    gtk_window_set_title(GTK_WINDOW(mainWindow_), title.c_str());
    localizeMenus();
    gtk_window_present(GTK_WINDOW(mainWindow_));
  });
}

void GtkUiShell::hideMainWindow() {
  mainThread_.invokeSync([this] { gtk_widget_hide(mainWindow_); });
}

void GtkUiShell::bringWindowToFront() {
  gtk_window_present(GTK_WINDOW(mainWindow_));
}

void GtkUiShell::terminateApplication() {
  mainThread_.post([this] { requestTermination(); });
}

void GtkUiShell::setCloseButtonEnabled(ShellWindow window, bool enabled) {
  GtkWidget* target = window == ShellWindow::kMain ? mainWindow_ : type3Window_;
  gtk_window_set_deletable(GTK_WINDOW(target), enabled);
}

void GtkUiShell::showIdraType3Window() {
  gtk_widget_hide(mainWindow_);
  gtk_window_present(GTK_WINDOW(type3Window_));
}

void GtkUiShell::hideIdraType3Window() {
  gtk_widget_hide(type3Window_);
  gtk_window_present(GTK_WINDOW(mainWindow_));
}

int GtkUiShell::type3DeleteEvent(GtkWidget*, void*, void* data) {
  auto* shell = static_cast<GtkUiShell*>(data);
  shell->hideIdraType3Window();
  if (shell->handlers_.idraType3Closed) shell->handlers_.idraType3Closed();
  return TRUE;  // hidden, not destroyed: the next type-3 sign-in shows it again
}

void GtkUiShell::setIdraType3WindowTitle(const std::string& title) {
  gtk_window_set_title(GTK_WINDOW(type3Window_), title.c_str());
}

void* GtkUiShell::idraType3ContentView() {
  return type3Content_;
}

bool GtkUiShell::post(Task task) {
  return mainThread_.post(std::move(task));
}

}  // namespace mediation
