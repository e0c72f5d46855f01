#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "mediation/ui/HtmlView.h"
#include "mediation/ui/MainThread.h"

// The HTML view on WebKitGTK. Each page gets its own web view in an ephemeral web context (nothing
// kept on disk). The bridge: a script injected at document start into the top frame only puts
// `window[jsObjectName]` on the page; its `messageFromHtmlFnName` method posts its two arguments
// (missing ones as "", others as their text) to a message handler whose name is random per run.
// Every other method of the object returns undefined. Native to page: messageFromNative(name,
// data) is called with the texts as arguments, never as script source.
//
// Loads: a page that finished without failing completes; a failed page reports an error (no error
// page is shown), a failed resource of a page a warning; cancelled loads report nothing. Codes:
// refused or unreachable host -1004 (kind 1), unknown host -1003, time-out -1001, no network
// -1009, anything else -1 (kind 2 for all but -1004).
//
// Proxy credentials answer the proxy's challenge once; a second challenge, a challenge without
// credentials and every origin's challenge are cancelled. New windows open in the browser when
// their address is http(s), else nowhere. A page with a message callback (its bridge reaches
// native code) shows only what create or setUrl loaded into it: an address it goes to itself, in
// any of its frames, opens in the browser when it is http(s), else nowhere (data: addresses, the
// page's own content, are left to the engine, which keeps them out of the top frame). Context
// menus and dropping onto the page are off unless debugging is on.
//
// Thread rules as in HtmlView; the main thread is `mainThread`'s, which must outlive the view.
namespace mediation {

struct WebViewHostSettings {
  // Opens an http(s) address in the user's browser. Null: new windows open nowhere.
  std::function<void(const std::string& url)> openInBrowser;
  // Context menus, dropping and the web inspector. The caller decides from the debug marker.
  bool debugMode = false;
  // The proxy every request of the page goes through ("http://host:port"), as the process's proxy
  // source names it. Empty: the system's proxy settings.
  std::string proxyUri;
};

class WebViewHost final : public HtmlView {
 public:
  WebViewHost(MainThread& mainThread, WebViewHostSettings settings);
  ~WebViewHost() override;

  bool create(const HtmlViewInitData& data) override;
  bool setUrl(const std::string& url) override;
  bool sendMessage(const std::string& name, const std::string& data) override;
  bool show() override;
  bool hide() override;
  void setProxyCredentials(const std::string& user, const std::string& password) override;
  bool executeScript(const std::string& script, int frameIndex, ScriptResult done) override;
  void* getWebView() const override;

  struct Page;

 private:
  std::shared_ptr<Page> page() const;
  void destroy();

  MainThread& mainThread_;
  const WebViewHostSettings settings_;
  mutable std::mutex mutex_;
  std::shared_ptr<Page> page_;  // guarded by mutex_
};

// Whether the debug marker "webview.debug" is in the product's Application Support folder.
bool webViewDebugMarkerPresent();

}  // namespace mediation
