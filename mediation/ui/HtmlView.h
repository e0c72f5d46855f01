#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

// One HTML page of the installer (the interface page or a sign-in page) in one web view, and the
// bridge between its scripts and native code. The mediator owns its views through this port; the
// web view host implements it.
//
// Thread rules: setUrl and sendMessage may be called from any thread (setUrl returns once the load
// has started on the main thread; sendMessage queues the call and returns). Everything else,
// creation and destruction included, runs on the main thread, and so do the callbacks. Messages to
// one page reach it in the order they were sent. No callback fires after the view is destroyed.
// Every operation but setProxyCredentials answers false when no web view exists.
namespace mediation {

// Callbacks receive UTF-8 text and the creation record's context last; their result is ignored.
using HtmlMessageCallback = int (*)(const std::string& name, const std::string& data,
                                    void* context);
using HtmlLoadCompleteCallback = int (*)(const std::string& url, void* context);
using HtmlLoadErrorCallback = int (*)(int kind, const std::string& url, int errorCode,
                                      void* context);
using HtmlLoadWarningCallback = int (*)(int kind, const std::string& mainUrl,
                                        const std::string& failingUrl, int errorCode,
                                        void* context);

// Kinds of a failed load.
constexpr int kLoadKindCannotConnect = 1;  // the error code is kLoadErrorCannotConnect
constexpr int kLoadKindOther = 2;

// Error codes of a failed load.
enum LoadErrorCode : int {
  kLoadErrorOther = -1,
  kLoadErrorTimedOut = -1001,
  kLoadErrorCannotFindHost = -1003,
  kLoadErrorCannotConnect = -1004,
  kLoadErrorNotConnectedToInternet = -1009,
};

struct HtmlViewInitData {
  void* parentViewPtr = nullptr;  // the container that receives the web view; null: none
  std::string initUrl;            // loaded after creation when not empty
  bool showOnInit = true;
  bool enablePrivateBrowsing = true;  // never turned off once on
  void* callbackContext = nullptr;
  HtmlMessageCallback messageCallbackFnPtr = nullptr;  // page -> native
  // The page finished loading; not after a failed load.
  HtmlLoadCompleteCallback loadCompleteCallbackFnPtr = nullptr;
  // The page itself failed to load.
  HtmlLoadErrorCallback loadErrorCallbackFnPtr = nullptr;
  // A resource of the page (main address, failing address) failed to load.
  HtmlLoadWarningCallback loadWarningCallbackFnPtr = nullptr;
  std::string jsObjectName = "JSObject";                  // the bridge object on `window`
  std::string messageFromHtmlFnName = "messageFromHtml";  // its one method the page may call
};

class HtmlView {
 public:
  // The script's result as text; nullopt when it threw or could not run.
  using ScriptResult = std::function<void(std::optional<std::string>)>;

  // Destroying the handle releases the web view.
  virtual ~HtmlView() = default;

  // Makes the web view; when `initUrl` is not empty, the result is that of loading it. False when
  // the web view cannot be made. A second create replaces the first view.
  virtual bool create(const HtmlViewInitData& data) = 0;
  virtual bool setUrl(const std::string& url) = 0;
  // Calls the page's messageFromNative(name, data) when the page defines it. The texts are passed
  // as values, never as script source.
  virtual bool sendMessage(const std::string& name, const std::string& data) = 0;
  virtual bool show() = 0;
  virtual bool hide() = 0;
  // Answers the proxy's authentication challenges of this page with these; empty user: none.
  virtual void setProxyCredentials(const std::string& user, const std::string& password) = 0;
  // Evaluates `script` in the page (`frameIndex` 0) or in its first child frame (any other
  // index); `done` receives the result on the main thread, "undefined" when there is no such
  // frame. False, `done` never called, when no web view exists.
  virtual bool executeScript(const std::string& script, int frameIndex, ScriptResult done) = 0;
  // The toolkit's web view; null when none exists. Owned by this handle.
  virtual void* getWebView() const = 0;
};

// Makes an empty handle; the mediator makes one per page.
using HtmlViewFactory = std::function<std::unique_ptr<HtmlView>()>;

}  // namespace mediation
