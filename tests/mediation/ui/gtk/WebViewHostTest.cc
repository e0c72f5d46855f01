#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "mediation/ui/gtk/WebViewHost.h"
#include "platform/system/SpecialFolders.h"
#include "tests/mediation/ui/gtk/support/Display.h"
#include "tests/support/Environment.h"
#include "tests/support/MainLoopWait.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/TestServer.h"

namespace mediation {
namespace {

// What the page's callbacks reported, in order; touched on the main thread only.
struct Recorder {
  std::vector<std::pair<std::string, std::string>> messages;
  std::vector<std::string> completes;
  struct Failure {
    int kind;
    std::string url, failing;
    int code;
  };
  std::vector<Failure> errors, warnings;

  static int message(const std::string& name, const std::string& data, void* context) {
    static_cast<Recorder*>(context)->messages.emplace_back(name, data);
    return 0;
  }
  static int complete(const std::string& url, void* context) {
    static_cast<Recorder*>(context)->completes.push_back(url);
    return 0;
  }
  static int error(int kind, const std::string& url, int code, void* context) {
    static_cast<Recorder*>(context)->errors.push_back({kind, url, "", code});
    return 0;
  }
  static int warning(int kind, const std::string& url, const std::string& failing, int code,
                     void* context) {
    static_cast<Recorder*>(context)->warnings.push_back({kind, url, failing, code});
    return 0;
  }
};

// A loopback port that nothing listens on.
int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// Echoes every native message back, and reports itself ready once loaded.
constexpr char kEchoPage[] = R"(<!DOCTYPE html><html><body><script>
function messageFromNative(name, data) { JSObject.messageFromHtml("echo:" + name, data); }
JSObject.messageFromHtml("documentReady", "");
</script></body></html>)";

// Every navigation the engine asks a policy for, by address. An emission hook runs before the
// host's own handler, so it sees the navigations the host refuses as well.
class NavigationWatch {
 public:
  NavigationWatch()
      : signal_(g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW)),
        hook_(g_signal_add_emission_hook(signal_, 0, &NavigationWatch::seen, this, nullptr)) {}
  ~NavigationWatch() { g_signal_remove_emission_hook(signal_, hook_); }
  NavigationWatch(const NavigationWatch&) = delete;
  NavigationWatch& operator=(const NavigationWatch&) = delete;

  bool asked(const std::string& address) const {
    return std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end();
  }

 private:
  static gboolean seen(GSignalInvocationHint*, guint, const GValue* values, gpointer self) {
    if (g_value_get_enum(&values[2]) == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      auto* decision = WEBKIT_NAVIGATION_POLICY_DECISION(g_value_get_object(&values[1]));
      WebKitNavigationAction* action =
          webkit_navigation_policy_decision_get_navigation_action(decision);
      static_cast<NavigationWatch*>(self)->addresses_.push_back(
          webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
    }
    return TRUE;
  }

  const guint signal_;
  const gulong hook_;
  std::vector<std::string> addresses_;
};

class WebViewHostTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE; }

  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    gtk_widget_show(window_);
    data_.parentViewPtr = window_;
    data_.callbackContext = &recorder_;
    data_.messageCallbackFnPtr = Recorder::message;
    data_.loadCompleteCallbackFnPtr = Recorder::complete;
    data_.loadErrorCallbackFnPtr = Recorder::error;
    data_.loadWarningCallbackFnPtr = Recorder::warning;
  }

  void TearDown() override {
    host_.reset();
    gtk_widget_destroy(window_);
  }

  std::string page(const std::string& name, const std::string& html) {
    wendtest::writeFile(folder_ / name, html);
    return "file://" + folder_ / name;
  }

  // The page has stopped loading after the server saw what it should.
  bool loadEnded(bool serverSawIt) {
    return serverSawIt && !webkit_web_view_is_loading(WEBKIT_WEB_VIEW(host_->getWebView()));
  }

  template <typename Predicate>
  bool waitFor(Predicate done) {
    return wendtest::runLoopUntil(done);
  }

  // Lets everything already under way finish: a page round trip after it.
  void settle() {
    size_t before = recorder_.messages.size();
    ASSERT_TRUE(host_->sendMessage("settle", ""));
    ASSERT_TRUE(waitFor([&] {
      for (size_t i = before; i < recorder_.messages.size(); ++i) {
        if (recorder_.messages[i].first == "echo:settle") return true;
      }
      return false;
    }));
  }

  // Loads the echo page and makes a round trip, so everything the previous page started is over.
  void settleOnEchoPage() {
    size_t before = recorder_.completes.size();
    ASSERT_TRUE(host_->setUrl(page("echo.html", kEchoPage)));
    ASSERT_TRUE(waitFor([&] { return recorder_.completes.size() > before; }));
    settle();
  }

  bool loadEchoPage() {
    data_.initUrl = page("echo.html", kEchoPage);
    auto* recorder = static_cast<Recorder*>(data_.callbackContext);
    return host_->create(data_) && waitFor([&] { return !recorder->completes.empty(); });
  }

  wendtest::TemporaryFolder folder_;
  MainThread main_;
  std::vector<std::string> opened_;
  std::unique_ptr<WebViewHost> host_ = std::make_unique<WebViewHost>(main_, openerSettings());

  WebViewHostSettings openerSettings() {
    WebViewHostSettings settings;
    settings.openInBrowser = [this](const std::string& url) { opened_.push_back(url); };
    return settings;
  }
  Recorder recorder_;
  HtmlViewInitData data_;
  GtkWidget* window_ = nullptr;
};

// Each thread sends the hard texts as name and data, with its number and a count.
TEST_F(WebViewHostTest, TextsFromManyThreadsCrossIntactInEachThreadsOrder) {
  ASSERT_TRUE(loadEchoPage());
  ASSERT_EQ(recorder_.messages.at(0), std::make_pair(std::string("documentReady"), std::string()));
  const std::vector<std::string> texts = {"\"quoted\" 'single'",
                                          "back\\slash\\",
                                          "</script><b>",
                                          "line\xE2\x80\xA8separator",
                                          "\xF0\x9F\x98\x80 astral",
                                          "new\nline\ttab",
                                          ""};
  auto text = [&](int i) { return texts[i % texts.size()]; };
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i)
        host_->sendMessage(std::to_string(t) + text(i), text(i) + std::to_string(i));
    });
  }
  for (std::thread& sender : senders) sender.join();
  ASSERT_TRUE(waitFor([&] { return recorder_.messages.size() == 201; }));
  std::vector<int> next(4, 0);
  for (size_t i = 1; i < recorder_.messages.size(); ++i) {
    const auto& [name, data] = recorder_.messages[i];
    ASSERT_EQ(name.substr(0, 5), "echo:");
    const int t = name[5] - '0', n = next[t]++;
    EXPECT_EQ(name, "echo:" + std::to_string(t) + text(n));
    EXPECT_EQ(data, text(n) + std::to_string(n)) << "thread " << t;
  }
}

TEST_F(WebViewHostTest, PageCallsOfAnyShapeGiveTextOrNothing) {
  data_.initUrl = page("calls.html", R"html(<script>
    JSObject.messageFromHtml();
    JSObject.messageFromHtml("one");
    JSObject.messageFromHtml(5, {a: 1});
    JSObject.messageFromHtml(null, "x", "extra");
    var unknown = JSObject.somethingElse("ignored");
    JSObject.messageFromHtml("unknown returned", String(unknown));
  </script>)html");
  ASSERT_TRUE(host_->create(data_));
  ASSERT_TRUE(waitFor([&] { return recorder_.messages.size() == 5; }));
  using Pair = std::pair<std::string, std::string>;
  EXPECT_EQ(recorder_.messages, (std::vector<Pair>{{"", ""},
                                                   {"one", ""},
                                                   {"5", "[object Object]"},
                                                   {"null", "x"},
                                                   {"unknown returned", "undefined"}}));
}

TEST_F(WebViewHostTest, CrossOriginFramesCannotReachTheBridge) {
  // The frame's own origin differs (a data: document is opaque); it tries every way in.
  data_.initUrl = page("frames.html", R"html(<script>JSObject.messageFromHtml("top", "");</script>
    <iframe src="data:text/html,<script>
      try { JSObject.messageFromHtml('frame', 'own'); } catch (e) {}
      try { parent.JSObject.messageFromHtml('frame', 'parent'); } catch (e) {}
      try { top.JSObject.messageFromHtml('frame', 'top'); } catch (e) {}
    </script>" onload="JSObject.messageFromHtml('frame loaded', '')"></iframe>)html");
  ASSERT_TRUE(host_->create(data_));
  ASSERT_TRUE(waitFor([&] {
    return !recorder_.messages.empty() && recorder_.messages.back().first == "frame loaded";
  }));
  for (const auto& [name, data] : recorder_.messages) EXPECT_NE(name, "frame") << data;
}

// The first load, superseded before it fails, reports nothing.
TEST_F(WebViewHostTest, LoadsCompleteOnceOrFailWithTheirCode) {
  data_.initUrl = "http://nowhere.invalid/";
  ASSERT_TRUE(host_->create(data_));
  const std::string image = page("image.html", R"(<img src="missing.png">)");
  ASSERT_TRUE(host_->setUrl(image));
  ASSERT_TRUE(waitFor([&] { return !recorder_.completes.empty(); }));
  ASSERT_EQ(recorder_.warnings.size(), 1u);
  EXPECT_EQ(recorder_.warnings[0].kind, kLoadKindOther);
  EXPECT_EQ(recorder_.warnings[0].url, image);
  EXPECT_EQ(recorder_.warnings[0].failing, "file://" + folder_ / "missing.png");
  EXPECT_TRUE(recorder_.errors.empty());

  std::string refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
  ASSERT_TRUE(host_->setUrl(refused));
  ASSERT_TRUE(waitFor([&] { return !recorder_.errors.empty(); }));
  EXPECT_EQ(recorder_.errors[0].kind, kLoadKindCannotConnect);
  EXPECT_EQ(recorder_.errors[0].code, kLoadErrorCannotConnect);
  EXPECT_EQ(recorder_.errors[0].url, refused);

  ASSERT_TRUE(host_->setUrl("http://nowhere.invalid/"));
  ASSERT_TRUE(waitFor([&] { return recorder_.errors.size() == 2; }));
  EXPECT_EQ(recorder_.errors[1].kind, kLoadKindOther);
  EXPECT_EQ(recorder_.errors[1].code, kLoadErrorCannotFindHost);

  ASSERT_TRUE(host_->setUrl(page("echo.html", kEchoPage)));
  ASSERT_TRUE(waitFor([&] { return recorder_.completes.size() == 2; }));
  settle();
  EXPECT_EQ(recorder_.completes.size(), 2u);  // the failed loads completed nothing
  EXPECT_EQ(recorder_.errors.size(), 2u);
}

TEST_F(WebViewHostTest, HiddenViewStaysHiddenUntilShown) {
  data_.showOnInit = false;
  ASSERT_TRUE(loadEchoPage());
  auto* view = static_cast<GtkWidget*>(host_->getWebView());
  EXPECT_FALSE(gtk_widget_get_visible(view));
  EXPECT_TRUE(host_->show());
  EXPECT_TRUE(gtk_widget_get_visible(view));
  EXPECT_TRUE(host_->hide());
  EXPECT_FALSE(gtk_widget_get_visible(view));
}

// The main window's content holds the interface page and the sign-in page, the later above.
TEST_F(WebViewHostTest, PagesShareAnOverlayParent) {
  GtkWidget* overlay = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(window_), overlay);
  data_.parentViewPtr = overlay;
  WebViewHost first(main_, {});
  WebViewHost second(main_, {});
  ASSERT_TRUE(first.create(data_));
  ASSERT_TRUE(second.create(data_));
  for (WebViewHost* host : {&first, &second}) {
    EXPECT_EQ(gtk_widget_get_parent(static_cast<GtkWidget*>(host->getWebView())), overlay);
  }
}

TEST_F(WebViewHostTest, ScriptsRunInThePageOrItsFirstFrame) {
  ASSERT_TRUE(loadEchoPage());
  std::vector<std::optional<std::string>> results;
  auto record = [&](std::optional<std::string> value) { results.push_back(value); };
  ASSERT_TRUE(host_->executeScript("6 * 7", 0, record));
  ASSERT_TRUE(host_->executeScript("document.title", 3, record));  // no child frame
  ASSERT_TRUE(host_->executeScript("throw new Error('x')", 0, record));
  ASSERT_TRUE(waitFor([&] { return results.size() == 3; }));
  EXPECT_EQ(results[0], "42");
  EXPECT_EQ(results[1], "undefined");
  EXPECT_EQ(results[2], std::nullopt);
}

TEST_F(WebViewHostTest, NothingReportsAfterTheViewIsGone) {
  ASSERT_TRUE(loadEchoPage());
  for (int i = 0; i < 20; ++i) host_->sendMessage("late", "");
  bool answered = false;
  host_->executeScript("1", 0, [&](std::optional<std::string>) { answered = true; });
  host_.reset();
  // Queued messages and pending scripts find no page: a round trip through a second page lets
  // them all come due.
  host_ = std::make_unique<WebViewHost>(main_, WebViewHostSettings{});
  Recorder other;
  data_.callbackContext = &other;
  ASSERT_TRUE(loadEchoPage());
  host_->sendMessage("settle", "");
  ASSERT_TRUE(waitFor([&] { return other.messages.size() == 2; }));
  EXPECT_EQ(recorder_.messages.size(), 1u);
  EXPECT_FALSE(answered);
}

TEST_F(WebViewHostTest, NewWindowsOpenOnlyWebAddressesInTheBrowser) {
  ASSERT_TRUE(loadEchoPage());
  webkit_settings_set_javascript_can_open_windows_automatically(
      webkit_web_view_get_settings(WEBKIT_WEB_VIEW(host_->getWebView())), TRUE);
  bool done = false;
  host_->executeScript(
      "window.open('file:///etc/passwd'); window.open('javascript:1');"
      "window.open('https://example.test/help?a=1&b=2'); 'opened'",
      0, [&](std::optional<std::string>) { done = true; });
  ASSERT_TRUE(waitFor([&] { return done; }));
  settle();
  EXPECT_EQ(opened_, std::vector<std::string>{"https://example.test/help?a=1&b=2"});
}

// A page whose messages reach native code stays on what native code loaded into it: a web
// address it goes to itself opens in the browser, unfetched; any other goes nowhere.
TEST_F(WebViewHostTest, ABridgedPageStaysOnWhatNativeCodeLoaded) {
  testserver::TestServer server;
  ASSERT_TRUE(server.start());
  server.addBody("/away.html", "<p>away</p>", {{"Content-Type", "text/html"}});
  ASSERT_TRUE(loadEchoPage());
  const std::string echo = data_.initUrl;
  const std::string other = page("other.html", kEchoPage);
  const std::string web = server.url("/away.html?a=1");
  struct Row {
    std::string script, address;
    bool toBrowser;
  } rows[] = {
      {"location.href = '" + web + "'", web, true},
      {"const a = document.createElement('a'); a.href = '" + web +
           "#x';"
           "document.body.append(a); a.click()",
       web + "#x", true},
      {"location.assign('" + other + "')", other, false},
      {"location.replace('about:blank')", "about:blank", false},
      {"document.head.insertAdjacentHTML('beforeend',"
       "'<meta http-equiv=\"refresh\" content=\"0; url=" +
           other + "?refresh\">')",
       other + "?refresh", false},
  };
  NavigationWatch watch;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    opened_.clear();
    bool ran = false;
    ASSERT_TRUE(host_->executeScript(row.script + "; 1", 0,
                                     [&](std::optional<std::string>) { ran = true; }));
    ASSERT_TRUE(waitFor([&] { return ran && watch.asked(row.address); }));
    settle();
    EXPECT_EQ(webkit_web_view_get_uri(WEBKIT_WEB_VIEW(host_->getWebView())), echo);
    EXPECT_EQ(recorder_.completes.size(), 1u);
    EXPECT_EQ(opened_,
              row.toBrowser ? std::vector<std::string>{row.address} : std::vector<std::string>{});
  }
  EXPECT_TRUE(server.requestsFor("/away.html").empty());

  // What native code loads is shown, and a page without a bridge (a sign-in page) goes where it
  // is sent.
  settleOnEchoPage();
  data_.messageCallbackFnPtr = nullptr;
  data_.initUrl = other;
  recorder_ = Recorder{};
  ASSERT_TRUE(host_->create(data_));
  ASSERT_TRUE(waitFor([&] { return recorder_.completes.size() == 1; }));
  bool ran = false;
  host_->executeScript("location.assign('" + echo + "'); 1", 0,
                       [&](std::optional<std::string>) { ran = true; });
  ASSERT_TRUE(waitFor([&] { return ran && recorder_.completes.size() == 2; }));
  EXPECT_EQ(recorder_.completes[1], echo);
}

TEST_F(WebViewHostTest, NoContextMenuWithoutDebugging) {
  ASSERT_TRUE(loadEchoPage());
  WebKitContextMenu* menu = webkit_context_menu_new();
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  gboolean handled = FALSE;
  g_signal_emit_by_name(host_->getWebView(), "context-menu", menu, event, nullptr, &handled);
  EXPECT_TRUE(handled);
  gdk_event_free(event);
  g_object_unref(menu);
}

TEST(WebViewDebugMarker, IsTheFileInTheProductsSupportFolder) {
  wendtest::TemporaryFolder root;
  wendtest::ScopedEnv scoped("WEND_ROOT", root.path());
  EXPECT_FALSE(webViewDebugMarkerPresent());
  std::string folder;
  ASSERT_TRUE(platform::specialFolderPath(18, folder));
  std::filesystem::create_directories(folder);
  wendtest::writeFile(folder + "/webview.debug", "");
  EXPECT_TRUE(webViewDebugMarkerPresent());
}

class WebViewProxyTest : public WebViewHostTest {
 protected:
  void SetUp() override {
    WebViewHostTest::SetUp();
    ASSERT_TRUE(server_.start());
    server_.addBody("/page.html", "<p>through the proxy</p>", {{"Content-Type", "text/html"}});
  }

  // Loads the page through the proxy; the requests the proxy saw for it.
  std::vector<testserver::LoggedRequest> loadThroughProxy(const char* user, const char* password,
                                                          size_t expectedRequests) {
    WebViewHostSettings settings;
    settings.proxyUri = server_.url("");
    host_ = std::make_unique<WebViewHost>(main_, settings);
    EXPECT_TRUE(host_->create(data_));
    host_->setProxyCredentials(user, password);
    EXPECT_TRUE(host_->setUrl("http://origin.test/page.html"));
    // A cancelled challenge ends the load without a report.
    EXPECT_TRUE(waitFor([&] { return loadEnded(server_.requests().size() >= expectedRequests); }));
    settleOnEchoPage();
    return server_.requests();
  }

  static testserver::TestServerSettings proxySettings() {
    testserver::TestServerSettings settings;
    settings.proxyCredentials = "tester:right";
    return settings;
  }

  testserver::TestServer server_{proxySettings()};
};

// Right credentials answer the challenge once; wrong ones are tried once more, none not at all.
TEST_F(WebViewProxyTest, CredentialsAnswerTheChallengeOnlyOnce) {
  struct Row {
    const char *user, *password, *answer;  // the retry's header, if any
    bool loads;
  } rows[] = {{"tester", "right", "Basic dGVzdGVyOnJpZ2h0", true},
              {"tester", "wrong", "Basic dGVzdGVyOndyb25n", false},
              {"", "", nullptr, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.password);
    server_.clearLog();
    recorder_ = Recorder{};
    auto requests = loadThroughProxy(row.user, row.password, row.answer ? 2 : 1);
    ASSERT_EQ(requests.size(), row.answer ? 2u : 1u);
    EXPECT_EQ(requests[0].header("Proxy-Authorization"), "");
    if (row.answer) {
      EXPECT_EQ(requests[1].header("Proxy-Authorization"), row.answer);
    }
    ASSERT_EQ(recorder_.completes.size(), row.loads ? 2u : 1u);  // and the settling page
    if (row.loads) {
      EXPECT_EQ(recorder_.completes[0], "http://origin.test/page.html");
    }
  }
}

TEST_F(WebViewProxyTest, AnOriginsChallengeGetsNoCredentials) {
  testserver::Rule rule;
  rule.path = "/secret.html";
  rule.fault.status = 401;
  server_.addRule(rule);
  server_.addBody("/secret.html", "secret");
  host_ = std::make_unique<WebViewHost>(main_, WebViewHostSettings{});
  ASSERT_TRUE(host_->create(data_));
  host_->setProxyCredentials("tester", "right");
  ASSERT_TRUE(host_->setUrl(server_.url("/secret.html")));
  ASSERT_TRUE(waitFor([&] { return loadEnded(!server_.requestsFor("/secret.html").empty()); }));
  settleOnEchoPage();
  auto requests = server_.requestsFor("/secret.html");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].header("Authorization"), "");
}

}  // namespace
}  // namespace mediation
