#include "mediation/ui/gtk/FolderBrowser.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include "platform/system/SpecialFolders.h"

namespace mediation {
namespace {

constexpr int kApplicationsFolder = 0;

bool isFolder(const std::string& path) {
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

gboolean showsFolder(const GtkFileFilterInfo* info, gpointer) {
  return info->filename && restrictFileOrPackage(info->filename);
}

std::string composed(const std::string& path) {
  gchar* text = g_utf8_normalize(path.c_str(), -1, G_NORMALIZE_NFC);
  std::string out = text ? text : path;
  g_free(text);
  return out;
}

// On the main thread: the chosen folder, or "" when the user cancelled.
std::string runDialog(const std::string& startPath, const std::string& title, GtkWidget* parent) {
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      title.c_str(), parent ? GTK_WINDOW(parent) : nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
      "_Cancel", GTK_RESPONSE_CANCEL, title.c_str(), GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_create_folders(chooser, TRUE);
  gtk_file_chooser_set_select_multiple(chooser, FALSE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_FILENAME, showsFolder, nullptr, nullptr);
  gtk_file_chooser_set_filter(chooser, filter);
  std::string start = startPath;
  if (!isFolder(start) && !platform::specialFolderPath(kApplicationsFolder, start)) start = "/";
  gtk_file_chooser_set_current_folder(chooser, start.c_str());

  std::string chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    gchar* name = gtk_file_chooser_get_filename(chooser);
    if (name) chosen = name;
    g_free(name);
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

}  // namespace

BrowseResult browseForInstallLocation(const std::string& startPath, const std::string& title,
                                      MainThread& mainThread, const InstallLocationProbe& probe,
                                      const ParentWindow& parent) {
  BrowseResult result;
  result.installPath = startPath;
  result.displayPath = startPath;
  std::string chosen;
  // Without a display there is nothing to show: as if cancelled.
  if (!mainThread.invokeSync([&] {
        if (gdk_display_get_default()) {
          chosen = runDialog(startPath, title, parent ? parent() : nullptr);
        }
      })) {
    return result;
  }
  if (chosen.empty()) return result;
  result.installPath = chosen;
  result.displayPath = composed(chosen);
  result.succeeded = isInstallableFile(chosen, result.errorNumber, probe);
  return result;
}

bool FolderLocationBrowser::browseForInstallLocation(std::string& path, std::string& errorNumber,
                                                     const std::string& title) {
  BrowseResult result =
      mediation::browseForInstallLocation(path, title, mainThread_, probe_, parent_);
  path = std::move(result.installPath);
  errorNumber = std::move(result.errorNumber);
  return result.succeeded;
}

}  // namespace mediation
