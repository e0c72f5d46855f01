#include "mediation/ui/gtk/WebViewHost.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <webkit2/webkit2.h>

#include <random>

#include "platform/system/SpecialFolders.h"

namespace mediation {
namespace {

constexpr int kMakerApplicationSupport = 18;

bool isHttp(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

// The address as the engine writes a request's, without its fragment: one document, one text.
std::string documentAddress(const std::string& url) {
  WebKitURIRequest* request = webkit_uri_request_new(url.c_str());
  std::string address = webkit_uri_request_get_uri(request);
  g_object_unref(request);
  return address.substr(0, address.find('#'));
}

// A JavaScript string literal of `text`; the names it quotes come from our own creation record.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  // U+2028 and U+2029 end a line inside older script parsers.
  for (const char* separator : {"\xE2\x80\xA8", "\xE2\x80\xA9"}) {
    for (size_t at = out.find(separator); at != std::string::npos; at = out.find(separator)) {
      out.replace(at, 3, separator[2] == '\xA8' ? "\\u2028" : "\\u2029");
    }
  }
  return out + "\"";
}

std::string randomHandlerName() {
  std::random_device random;
  std::string name = "wend";
  const char* digits = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) name += digits[random() % 16];
  return name;
}

// The bridge object: any method name is callable; only one of them reaches native code.
std::string bridgeScript(const std::string& objectName, const std::string& methodName,
                         const std::string& handler) {
  return "(function() {\n"
         "  const handler = window.webkit.messageHandlers[" +
         quoted(handler) +
         "];\n"
         "  const method = " +
         quoted(methodName) +
         ";\n"
         "  const text = (value) => value === undefined ? \"\" : String(value);\n"
         "  const send = function(name, data) { handler.postMessage([text(name), text(data)]); };\n"
         "  const ignore = function() { return undefined; };\n"
         "  Object.defineProperty(window, " +
         quoted(objectName) +
         ", {\n"
         "    value: new Proxy({}, { get: (target, key) => key === method ? send : ignore }),\n"
         "    writable: false, configurable: false });\n"
         "})();\n";
}

int loadErrorCode(const GError* error) {
  if (error->domain == G_RESOLVER_ERROR) return kLoadErrorCannotFindHost;
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CONNECTION_REFUSED:
      case G_IO_ERROR_HOST_UNREACHABLE:
        return kLoadErrorCannotConnect;
      case G_IO_ERROR_TIMED_OUT:
        return kLoadErrorTimedOut;
      case G_IO_ERROR_NETWORK_UNREACHABLE:
        return kLoadErrorNotConnectedToInternet;
      default:
        break;
    }
  }
  return kLoadErrorOther;
}

int loadErrorKind(int code) {
  return code == kLoadErrorCannotConnect ? kLoadKindCannotConnect : kLoadKindOther;
}

bool isCancellation(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// The interface page and the sign-in page share the main window's content: an overlay takes the
// first page as its child and every later one as a layer above the pages before it.
void attach(GtkWidget* parent, GtkWidget* view) {
  if (GTK_IS_OVERLAY(parent) && gtk_bin_get_child(GTK_BIN(parent))) {
    gtk_overlay_add_overlay(GTK_OVERLAY(parent), view);
  } else {
    gtk_container_add(GTK_CONTAINER(parent), view);
  }
}

}  // namespace

// Everything one web view needs; lives on the main thread. Signal handlers and queued tasks hold
// it through shared pointers and check `live`, so none of them acts after the view is gone.
struct WebViewHost::Page {
  HtmlViewInitData data;
  WebViewHostSettings settings;
  std::string handlerName;
  WebKitWebView* view = nullptr;  // one reference of ours
  GCancellable* cancellable = nullptr;
  bool live = true;
  bool loadFailed = false;
  std::string loadedAddress;  // what native code last loaded, as documentAddress writes it
  std::mutex credentialsMutex;
  std::string proxyUser;      // guarded by credentialsMutex
  std::string proxyPassword;  // guarded by credentialsMutex

  ~Page() {
    if (cancellable) g_object_unref(cancellable);
  }
};

namespace {

using PagePtr = std::shared_ptr<WebViewHost::Page>;

// Connects a handler whose data is a reference to the page, dropped with the connection.
template <typename Handler>
void connect(gpointer instance, const char* signal, Handler handler, const PagePtr& page) {
  g_signal_connect_data(
      instance, signal, G_CALLBACK(handler), new PagePtr(page),
      [](gpointer data, GClosure*) { delete static_cast<PagePtr*>(data); }, GConnectFlags(0));
}

WebViewHost::Page& pageOf(gpointer data) {
  return **static_cast<PagePtr*>(data);
}

void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  if (!page.live || !page.data.messageCallbackFnPtr) return;
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_array(value)) return;
  std::string texts[2];
  for (guint i = 0; i < 2; ++i) {
    JSCValue* item = jsc_value_object_get_property_at_index(value, i);
    if (jsc_value_is_string(item)) {
      char* text = jsc_value_to_string(item);
      texts[i] = text;
      g_free(text);
    }
    g_object_unref(item);
  }
  page.data.messageCallbackFnPtr(texts[0], texts[1], page.data.callbackContext);
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  if (!page.live) return;
  if (event == WEBKIT_LOAD_STARTED) page.loadFailed = false;
  if (event != WEBKIT_LOAD_FINISHED || page.loadFailed || !page.data.loadCompleteCallbackFnPtr) {
    return;
  }
  const char* uri = webkit_web_view_get_uri(view);
  page.data.loadCompleteCallbackFnPtr(uri ? uri : "", page.data.callbackContext);
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, char* failingUri, GError* error,
                      gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  if (!page.live) return TRUE;
  page.loadFailed = true;
  if (isCancellation(error) || !page.data.loadErrorCallbackFnPtr) return TRUE;
  int code = loadErrorCode(error);
  page.data.loadErrorCallbackFnPtr(loadErrorKind(code), failingUri ? failingUri : "", code,
                                   page.data.callbackContext);
  return TRUE;
}

void onResourceFailed(WebKitWebResource* resource, GError* error, gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  if (!page.live || isCancellation(error) || !page.data.loadWarningCallbackFnPtr) return;
  const char* main = webkit_web_view_get_uri(page.view);
  const char* failing = webkit_web_resource_get_uri(resource);
  WebKitWebResource* mainResource = webkit_web_view_get_main_resource(page.view);
  // The page's own failure is the load error's to report.
  if (!main || !failing || resource == mainResource || g_strcmp0(main, failing) == 0) return;
  int code = loadErrorCode(error);
  page.data.loadWarningCallbackFnPtr(loadErrorKind(code), main, failing, code,
                                     page.data.callbackContext);
}

void onResourceLoadStarted(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                           gpointer data) {
  connect(resource, "failed", onResourceFailed, *static_cast<PagePtr*>(data));
}

gboolean onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  std::string user, password;
  {
    std::lock_guard lock(page.credentialsMutex);
    user = page.proxyUser;
    password = page.proxyPassword;
  }
  if (page.live && webkit_authentication_request_is_for_proxy(request) &&
      !webkit_authentication_request_is_retry(request) && !user.empty()) {
    WebKitCredential* credential =
        webkit_credential_new(user.c_str(), password.c_str(), WEBKIT_CREDENTIAL_PERSISTENCE_NONE);
    webkit_authentication_request_authenticate(request, credential);
    webkit_credential_free(credential);
  } else {
    webkit_authentication_request_cancel(request);
  }
  return TRUE;
}

gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                       gpointer data) {
  return pageOf(data).settings.debugMode ? FALSE : TRUE;
}

// An address the page may not show itself: to the browser when it is a web address.
void openOutside(const WebViewHost::Page& page, const char* uri) {
  if (page.live && uri && isHttp(uri) && page.settings.openInBrowser) {
    page.settings.openInBrowser(uri);
  }
}

GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  openOutside(pageOf(data), request ? webkit_uri_request_get_uri(request) : nullptr);
  return nullptr;
}

// A page whose messages reach native code has the bridge: it shows only what native code loaded
// into it, or another page would be handed the bridge. Where it goes itself opens outside, as a
// new window's address does. A data: address is left to the engine, which keeps it out of the
// top frame: its content is the page's own.
gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
  WebViewHost::Page& page = pageOf(data);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION || !page.data.messageCallbackFnPtr) {
    return FALSE;
  }
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const std::string uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (page.live && (uri.rfind("data:", 0) == 0 || documentAddress(uri) == page.loadedAddress)) {
    return FALSE;
  }
  webkit_policy_decision_ignore(decision);
  openOutside(page, uri.c_str());
  return TRUE;
}

struct ScriptCall {
  std::shared_ptr<WebViewHost::Page> page;
  HtmlView::ScriptResult done;
  bool viaFunction;
};

void onScriptFinished(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
  GError* error = nullptr;
  auto* view = WEBKIT_WEB_VIEW(source);
  JSCValue* value =
      call->viaFunction
          ? webkit_web_view_call_async_javascript_function_finish(view, result, &error)
          : webkit_web_view_evaluate_javascript_finish(view, result, &error);
  bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  std::optional<std::string> text;
  if (value) {
    char* string = jsc_value_to_string(value);
    text = string ? string : "";
    g_free(string);
    g_object_unref(value);
  }
  if (error) g_error_free(error);
  if (!cancelled && call->page->live && call->done) call->done(text);
}

}  // namespace

bool webViewDebugMarkerPresent() {
  std::string folder;
  struct stat status {};
  return platform::specialFolderPath(kMakerApplicationSupport, folder) &&
         stat((folder + "/webview.debug").c_str(), &status) == 0;
}

WebViewHost::WebViewHost(MainThread& mainThread, WebViewHostSettings settings)
    : mainThread_(mainThread), settings_(std::move(settings)) {}

WebViewHost::~WebViewHost() {
  destroy();
}

std::shared_ptr<WebViewHost::Page> WebViewHost::page() const {
  std::lock_guard lock(mutex_);
  return page_;
}

void WebViewHost::destroy() {
  std::shared_ptr<Page> page;
  {
    std::lock_guard lock(mutex_);
    page.swap(page_);
  }
  if (!page) return;
  page->live = false;
  g_cancellable_cancel(page->cancellable);
  g_signal_handlers_disconnect_matched(page->view, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                       reinterpret_cast<gpointer>(onResourceLoadStarted), nullptr);
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(page->view);
  webkit_user_content_manager_unregister_script_message_handler(content, page->handlerName.c_str());
  gtk_widget_destroy(GTK_WIDGET(page->view));
  g_object_unref(page->view);
  page->view = nullptr;
}

bool WebViewHost::create(const HtmlViewInitData& data) {
  destroy();
  auto page = std::make_shared<Page>();
  page->data = data;
  page->settings = settings_;
  page->handlerName = randomHandlerName();
  page->cancellable = g_cancellable_new();

  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  if (!settings_.proxyUri.empty()) {
    WebKitNetworkProxySettings* proxy =
        webkit_network_proxy_settings_new(settings_.proxyUri.c_str(), nullptr);
    webkit_website_data_manager_set_network_proxy_settings(
        webkit_web_context_get_website_data_manager(context), WEBKIT_NETWORK_PROXY_MODE_CUSTOM,
        proxy);
    webkit_network_proxy_settings_free(proxy);
  }
  WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(context);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  std::string script =
      bridgeScript(data.jsObjectName, data.messageFromHtmlFnName, page->handlerName);
  WebKitUserScript* userScript =
      webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, userScript);
  webkit_user_script_unref(userScript);
  std::string signal = "script-message-received::" + page->handlerName;
  connect(content, signal.c_str(), onScriptMessage, page);
  webkit_user_content_manager_register_script_message_handler(content, page->handlerName.c_str());

  GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                              "user-content-manager", content, nullptr));
  g_object_unref(content);
  g_object_unref(context);
  page->view = WEBKIT_WEB_VIEW(g_object_ref_sink(widget));

  WebKitSettings* webSettings = webkit_web_view_get_settings(page->view);
  webkit_settings_set_enable_tabs_to_links(webSettings, TRUE);
  webkit_settings_set_enable_developer_extras(webSettings, settings_.debugMode);
  if (!settings_.debugMode) gtk_drag_dest_unset(widget);

  connect(page->view, "load-changed", onLoadChanged, page);
  connect(page->view, "load-failed", onLoadFailed, page);
  connect(page->view, "resource-load-started", onResourceLoadStarted, page);
  connect(page->view, "authenticate", onAuthenticate, page);
  connect(page->view, "context-menu", onContextMenu, page);
  connect(page->view, "create", onCreate, page);
  connect(page->view, "decide-policy", onDecidePolicy, page);

  if (data.parentViewPtr) attach(static_cast<GtkWidget*>(data.parentViewPtr), widget);
  if (data.showOnInit) gtk_widget_show(widget);
  {
    std::lock_guard lock(mutex_);
    page_ = page;
  }
  return data.initUrl.empty() || setUrl(data.initUrl);
}

bool WebViewHost::setUrl(const std::string& url) {
  std::shared_ptr<Page> page = this->page();
  if (!page) return false;
  return mainThread_.invokeSync([page, url] {
    if (!page->live) return;
    page->loadedAddress = documentAddress(url);
    webkit_web_view_load_uri(page->view, url.c_str());
  });
}

bool WebViewHost::sendMessage(const std::string& name, const std::string& data) {
  std::shared_ptr<Page> page = this->page();
  if (!page) return false;
  return mainThread_.post([page, name, data] {
    if (!page->live) return;
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&arguments, "{sv}", "n", g_variant_new_string(name.c_str()));
    g_variant_builder_add(&arguments, "{sv}", "d", g_variant_new_string(data.c_str()));
    static const char kCall[] =
        "if (typeof messageFromNative === \"function\") messageFromNative(n, d);";
    webkit_web_view_call_async_javascript_function(page->view, kCall, -1,
                                                   g_variant_builder_end(&arguments), nullptr,
                                                   nullptr, page->cancellable, nullptr, nullptr);
  });
}

bool WebViewHost::show() {
  std::shared_ptr<Page> page = this->page();
  if (!page) return false;
  gtk_widget_show(GTK_WIDGET(page->view));
  return true;
}

bool WebViewHost::hide() {
  std::shared_ptr<Page> page = this->page();
  if (!page) return false;
  gtk_widget_hide(GTK_WIDGET(page->view));
  return true;
}

void WebViewHost::setProxyCredentials(const std::string& user, const std::string& password) {
  std::shared_ptr<Page> page = this->page();
  if (!page) return;
  std::lock_guard lock(page->credentialsMutex);
  page->proxyUser = user;
  page->proxyPassword = password;
}

bool WebViewHost::executeScript(const std::string& script, int frameIndex, ScriptResult done) {
  std::shared_ptr<Page> page = this->page();
  if (!page) return false;
  auto* call = new ScriptCall{page, std::move(done), frameIndex != 0};
  if (frameIndex == 0) {
    webkit_web_view_evaluate_javascript(page->view, script.c_str(), -1, nullptr, nullptr,
                                        page->cancellable, onScriptFinished, call);
    return true;
  }
  static const char kInChildFrame[] =
      "const frame = window.frames[0];\n"
      "return frame ? frame.eval(s) : undefined;";
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&arguments, "{sv}", "s", g_variant_new_string(script.c_str()));
  webkit_web_view_call_async_javascript_function(
      page->view, kInChildFrame, -1, g_variant_builder_end(&arguments), nullptr, nullptr,
      page->cancellable, onScriptFinished, call);
  return true;
}

void* WebViewHost::getWebView() const {
  std::shared_ptr<Page> page = this->page();
  return page ? page->view : nullptr;
}

}  // namespace mediation
