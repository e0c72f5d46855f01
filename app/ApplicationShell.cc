#include "app/ApplicationShell.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <utility>

#include "app/ShellWiring.h"
#include "core/config/ServiceUrls.h"
#include "core/context/ApplicationContext.h"
#include "core/context/BundleResources.h"
#include "core/install/InstallLocation.h"
#include "foundation/system/ProcessUtils.h"
#include "mediation/ui/CairoDockProgress.h"
#include "mediation/ui/ViewMediatorUI.h"
#include "mediation/ui/gtk/FolderBrowser.h"
#include "mediation/ui/gtk/GtkUiShell.h"
#include "mediation/ui/gtk/WebViewHost.h"
#include "platform/network/ProxyManager.h"

namespace {

constexpr char kIconName[] = "system-software-install";
constexpr int kIconSize = 128;
constexpr uint64_t kDockMaximum = 100;  // the mediator reports percentages

// The main page as the bundle keeps it: a file address, "" when the bundle has no resources.
std::string mainPageUrl() {
  const std::string folder = FolderBundleResources::programResourcesFolder();
  if (folder.empty()) return "";
  gchar* uri = g_filename_to_uri((folder + "/main.html").c_str(), nullptr, nullptr);
  std::string url = uri ? uri : "";
  g_free(uri);
  return url;
}

// The installer's icon from the theme, or a blank one of the same size when the theme has none.
mediation::DockImage applicationIcon() {
  GdkPixbuf* pixbuf = gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), kIconName, kIconSize,
                                               GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
  cairo_surface_t* surface =
      pixbuf ? gdk_cairo_surface_create_from_pixbuf(pixbuf, 1, nullptr)
             : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kIconSize, kIconSize);
  if (pixbuf) g_object_unref(pixbuf);
  mediation::DockImage icon = mediation::dockImageOf(surface);
  cairo_surface_destroy(surface);  // the image holds its own reference
  return icon;
}

void setWindowIcon(GtkWidget* window, const mediation::DockImage& image) {
  cairo_surface_t* surface = image.get();
  GdkPixbuf* pixbuf =
      gdk_pixbuf_get_from_surface(surface, 0, 0, cairo_image_surface_get_width(surface),
                                  cairo_image_surface_get_height(surface));
  if (!pixbuf) return;
  gtk_window_set_icon(GTK_WINDOW(window), pixbuf);
  g_object_unref(pixbuf);
}

mediation::WebViewHostSettings webViewSettings(ApplicationContext& context) {
  mediation::WebViewHostSettings settings;
  // The page's links leave for the browser as they are: no tracking query.
  settings.openInBrowser = [](const std::string& url) {
    PandoUtils::ProcessUtils::openURLWithTracking(url, false);
  };
  settings.debugMode = mediation::webViewDebugMarkerPresent();
  settings.proxyUri = platform::ProxyManager().proxyFor(GetWebBaseUrl(context.config));
  return settings;
}

}  // namespace

struct ApplicationShell::Session {
  Session(mediation::MainThread& mainThread, ApplicationContext& owner)
      : context(owner),
        shell(mainThread, shellHandlers(owner)),
        viewSettings(webViewSettings(owner)) {}

  ApplicationContext& context;
  mediation::GtkUiShell shell;
  const mediation::WebViewHostSettings viewSettings;
};

ApplicationShell::ApplicationShell() = default;

// The windows go before the main-thread queue they were made with.
ApplicationShell::~ApplicationShell() {
  session_.reset();
  mainThread_.shutdown();
}

std::unique_ptr<IContextPartsFactory> ApplicationShell::withInterface(
    std::unique_ptr<IContextPartsFactory> inner) {
  auto ports = [this] {
    mediation::HtmlInterfacePorts out;
    if (!session_) return out;
    mediation::MainThread& mainThread = mainThread_;
    out.makeView = [&mainThread, settings = session_->viewSettings] {
      return std::make_unique<mediation::WebViewHost>(mainThread, settings);
    };
    out.shell = &session_->shell;
    GtkWidget* window = session_->shell.mainWindow();
    out.dock = std::make_unique<mediation::CairoDockProgress>(
        applicationIcon(), kDockMaximum, [&mainThread, window](mediation::DockImage image) {
          mainThread.post([window, image] { setWindowIcon(window, image); });
        });
    return out;
  };
  // The windows are made by open, after this; the chooser asks for the main one as it opens.
  auto browser = std::make_shared<mediation::FolderLocationBrowser>(
      mainThread_, systemInstallLocationProbe(),
      [this] { return session_ ? session_->shell.mainWindow() : nullptr; });
  return mediation::withHtmlInterface(std::move(inner), std::move(ports), std::move(browser));
}

bool ApplicationShell::open(ApplicationContext& context) {
  // The rest of the process reads and writes numbers and texts in the C locale; the toolkit would
  // switch the whole process to the user's. (A display already open has had its say.)
  if (!gdk_display_get_default()) gtk_disable_setlocale();
  // Like the application main function of the platform this stands in for: no arguments.
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs("Install: cannot open the display; the installer needs a graphical session.\n",
               stderr);
    return false;
  }
  session_ = std::make_unique<Session>(mainThread_, context);
  return true;
}

int ApplicationShell::run() {
  if (!session_) return kNoDisplayExitStatus;
  // The application has launched: the pages come, and with the first page's "documentReady" the
  // workflow.
  auto* mediator = dynamic_cast<mediation::ViewMediatorUI*>(session_->context.viewMediator.get());
  if (mediator) mediator->createMainViews(session_->shell.mainContentView(), mainPageUrl());
  gtk_main();
  mainThread_.shutdown();
  return 0;
}

mediation::GtkUiShell* ApplicationShell::windows() {
  return session_ ? &session_->shell : nullptr;
}
