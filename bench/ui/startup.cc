// wend-ui-startup: one start of the interface page in a window, timed from the program's start.
//   wend-ui-startup host PAGE   the page in our WebViewHost, as the installer shows it
//   wend-ui-startup bare PAGE   the page in a plain WebKitWebView loaded with load_uri, with only
//                               the smallest bridge a page needs to say "documentReady"
// Prints "wend-ui-startup: READY_MS PAINT_MS": when the page's "documentReady" reached native
// code, and when the web view first drew after the page had been committed. Exits 1 when either
// has not happened within 20 s.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "mediation/ui/gtk/WebViewHost.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point started = Clock::now();
constexpr guint kGiveUpSeconds = 20;

struct Run {
  double readyMs = -1;
  double paintMs = -1;
  bool committed = false;
  GMainLoop* loop = nullptr;

  static double now() {
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  }
  void ready() {
    if (readyMs < 0) readyMs = now();
    endWhenBoth();
  }
  void drawn() {
    if (committed && paintMs < 0) paintMs = now();
    endWhenBoth();
  }
  void endWhenBoth() {
    if (readyMs >= 0 && paintMs >= 0) g_main_loop_quit(loop);
  }
};

void watchView(WebKitWebView* view, Run& run) {
  g_signal_connect(view, "load-changed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                     if (event == WEBKIT_LOAD_COMMITTED) static_cast<Run*>(data)->committed = true;
                   }),
                   &run);
  g_signal_connect_after(view, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer data) {
                           static_cast<Run*>(data)->drawn();
                           return FALSE;
                         }),
                         &run);
}

int onPageMessage(const std::string& name, const std::string&, void* context) {
  if (name == "documentReady") static_cast<Run*>(context)->ready();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "host") != 0 && std::strcmp(argv[1], "bare") != 0)) {
    std::fprintf(stderr, "usage: wend-ui-startup host|bare PAGE\n");
    return 2;
  }
  gtk_init(nullptr, nullptr);
  const std::string url = std::string("file://") + argv[2];
  Run run;
  run.loop = g_main_loop_new(nullptr, FALSE);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1000, 640);
  gtk_widget_show(window);

  mediation::MainThread mainThread;
  mediation::WebViewHost host(mainThread, {});
  if (std::strcmp(argv[1], "host") == 0) {
    mediation::HtmlViewInitData data;
    data.parentViewPtr = window;
    data.callbackContext = &run;
    data.messageCallbackFnPtr = onPageMessage;
    // The view must be watched before the load starts: made empty, then loaded.
    if (!host.create(data)) return 1;
    watchView(WEBKIT_WEB_VIEW(host.getWebView()), run);
    host.setUrl(url);
  } else {
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    webkit_user_content_manager_add_script(
        content,
        webkit_user_script_new("window.JSObject = {messageFromHtml: (name, data) =>"
                               " window.webkit.messageHandlers.bench.postMessage(String(name))};",
                               WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    g_signal_connect(
        content, "script-message-received::bench",
        G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
          char* name = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
          if (std::strcmp(name, "documentReady") == 0) static_cast<Run*>(data)->ready();
          g_free(name);
        }),
        &run);
    webkit_user_content_manager_register_script_message_handler(content, "bench");
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show(view);
    watchView(WEBKIT_WEB_VIEW(view), run);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url.c_str());
  }
  g_timeout_add_seconds(
      kGiveUpSeconds,
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      run.loop);
  g_main_loop_run(run.loop);
  if (run.readyMs < 0 || run.paintMs < 0) {
    std::fprintf(stderr, "wend-ui-startup: no %s within %u s\n",
                 run.readyMs < 0 ? "documentReady" : "first paint", kGiveUpSeconds);
    return 1;
  }
  std::printf("wend-ui-startup: %.1f %.1f\n", run.readyMs, run.paintMs);
  std::fflush(stdout);
  // The web processes end with this one; nothing to tear down for a measurement.
  _exit(0);
}
