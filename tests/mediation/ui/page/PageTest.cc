#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "foundation/text/Utf8.h"
#include "mediation/ui/gtk/WebViewHost.h"
#include "tests/mediation/ui/gtk/support/Display.h"
#include "tests/support/MainLoopWait.h"

// The built interface page in the real web view host: what it sends for every action, how it
// shows what native code sends it, its keyboard use and its accessibility (axe-core).
namespace mediation {
namespace {

using Message = std::pair<std::string, std::string>;
using Messages = std::vector<Message>;

const std::string kResources = std::string(WEND_INSTALL_BUNDLE) + "/Contents/Resources";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The dictionary as the native side hands it on: the bundle's UTF-16 decoded.
std::string bundleDictionary(const std::string& locale) {
  std::string text;
  EXPECT_TRUE(Utf8::fromUtf16(readFile(kResources + "/Dictionary/" + locale + ".json"), text));
  return text;
}

// Texts of our own so the checks do not hang on the product's wording.
constexpr char kTestDictionary[] = R"({
  "TimeLeftEstimating": {"message": "estimating"},
  "TimeLeftLessThan": {"message": "under {max} min"},
  "TimeLeftAbout": {"message": "{min} to {max} min"},
  "ErrorTitle": {"message": "Problem"},
  "ErrorCodeLabel": {"message": "Code {code}"},
  "ProductInstallationTitleConflict": {"message": "Conflict"},
  "TarnInstallNetworkUnavailable": {"message": "{0} is offline."},
  "InitErrorIncompatibleOS": {"message": "{0} needs {1}."},
  "InitErrorGeneric": {"message": "Something failed."},
  "ProductInstallationconflictingProcessErr": {"message": "Close this:"},
  "CopiesProbe": {"message": "Copy {1} 2 times."},
  "InstallLocationTitleGenericErr": {"message": "Other place"},
  "InstallLocationGenericErr": {"message": "Not here."},
  "InstallLocationRootPathErr": {"message": "{0} not on {1}."}
})";

struct Recorder {
  Messages messages;
  static int message(const std::string& name, const std::string& data, void* context) {
    static_cast<Recorder*>(context)->messages.emplace_back(name, data);
    return 0;
  }
};

class PageTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE; }

  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 900, 640);
    gtk_widget_show(window_);
    HtmlViewInitData data;
    data.parentViewPtr = window_;
    data.callbackContext = &recorder_;
    data.messageCallbackFnPtr = Recorder::message;
    data.initUrl = "file://" + kResources + "/main.html";
    ASSERT_TRUE(host_->create(data));
    ASSERT_TRUE(waitFor([&] { return !recorder_.messages.empty(); }));
    ASSERT_EQ(recorder_.messages, (Messages{{"documentReady", ""}}));
    recorder_.messages.clear();
    // The page keeps no record of what it is sent: the test watches the deliveries itself.
    ASSERT_EQ(js("(() => { const take = window.messageFromNative; window.__taken = [];"
                 "window.messageFromNative = (name, data) => {"
                 "try { take(name, data); } finally { window.__taken.push([name, data]); } };"
                 "})(); 'watched'"),
              "watched");
  }

  void TearDown() override {
    host_.reset();
    gtk_widget_destroy(window_);
  }

  template <typename Predicate>
  bool waitFor(Predicate done) {
    return wendtest::runLoopUntil(done);
  }

  // The script's value as text; "<threw>" when it threw.
  std::string js(const std::string& script) {
    std::optional<std::optional<std::string>> result;
    EXPECT_TRUE(host_->executeScript(
        script, 0, [&](std::optional<std::string> value) { result = std::move(value); }));
    EXPECT_TRUE(waitFor([&] { return result.has_value(); })) << script;
    return result && *result ? **result : "<threw>";
  }

  // Sends a command and waits until the page has taken it.
  void deliver(const std::string& name, const std::string& data = "") {
    ASSERT_TRUE(host_->sendMessage(name, data));
    ++delivered_;
    const std::string count = std::to_string(delivered_);
    ASSERT_TRUE(waitFor([&] { return js("String(window.__taken.length)") == count; })) << name;
  }

  void initialize(const std::string& dictionary, const std::string& locale = "en_US",
                  bool testWorkflow = false) {
    deliver("initialize",
            R"({"applicationName":"Orvel Studio","contentURL":"","isHighDpi":"false",)"
            R"("isTestWorkflow":")" +
                std::string(testWorkflow ? "true" : "false") + R"(","locale":")" + locale +
                R"(","platform":"mac","localizationStringMap":)" + dictionary + "}");
  }

  // Clicks the element (as a pointer would) and returns what the page sent for it.
  Messages click(const std::string& id) {
    recorder_.messages.clear();
    EXPECT_EQ(js("document.getElementById('" + id + "').click(); 'ok'"), "ok") << id;
    js("1");  // a round trip: whatever the click sent has arrived
    return recorder_.messages;
  }

  std::string shown() {
    return js("document.body.dataset.screen + '/' + document.body.dataset.overlay");
  }
  std::string textOf(const std::string& id) {
    return js("document.getElementById('" + id + "').textContent");
  }
  bool visible(const std::string& id) {
    return js("document.getElementById('" + id + "').getClientRects().length > 0") == "true";
  }
  std::string focused() { return js("document.activeElement.id"); }

  // A key as the toolkit would deliver it (the physical key is that of `key`, the symbol `keyval`
  // after the modifiers), then a wait until the page has handled it.
  void press(guint keyval, GdkModifierType state = GdkModifierType(0), guint key = 0) {
    if (!keysWatched_) {
      js("window.__keyups = 0;"
         "document.addEventListener('keyup', () => window.__keyups++, true); 1");
      keysWatched_ = true;
    }
    GtkWidget* view = static_cast<GtkWidget*>(host_->getWebView());
    gtk_widget_grab_focus(view);
    GdkWindow* target = gtk_widget_get_window(view);
    GdkDisplay* display = gdk_window_get_display(target);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), key ? key : keyval,
                                      &keys, &count);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
      GdkEvent* event = gdk_event_new(type);
      event->key.window = GDK_WINDOW(g_object_ref(target));
      event->key.send_event = TRUE;
      event->key.time = GDK_CURRENT_TIME;
      event->key.state = state;
      event->key.keyval = keyval;
      event->key.hardware_keycode = count > 0 ? keys[0].keycode : 0;
      event->key.group = count > 0 ? keys[0].group : 0;
      gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
      gtk_widget_event(view, event);
      gdk_event_free(event);
    }
    g_free(keys);
    const std::string expected = std::to_string(++keyups_);
    ASSERT_TRUE(waitFor([&] { return js("String(window.__keyups)") == expected; }));
  }
  void tab() { press(GDK_KEY_Tab); }
  void backTab() { press(GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK, GDK_KEY_Tab); }

  // The ids of the controls a user can reach now, in tab order.
  std::vector<std::string> reachable() {
    const std::string list =
        js("(() => { const root = document.body.dataset.overlay ? document.querySelector("
           "\".shade[data-overlay='\" + document.body.dataset.overlay + \"']\") : document;"
           "return Array.from(root.querySelectorAll('button, input, select')).filter(e => "
           "!e.disabled && e.getClientRects().length > 0 && !e.closest('[inert]'))"
           ".map(e => e.id).join(' '); })()");
    std::vector<std::string> ids;
    for (size_t at = 0; at < list.size();) {
      size_t end = list.find(' ', at);
      if (end == std::string::npos) end = list.size();
      ids.push_back(list.substr(at, end - at));
      at = end + 1;
    }
    return ids;
  }

  MainThread main_;
  std::unique_ptr<WebViewHost> host_ = std::make_unique<WebViewHost>(main_, WebViewHostSettings{});
  Recorder recorder_;
  GtkWidget* window_ = nullptr;
  int delivered_ = 0;
  int keyups_ = 0;
  bool keysWatched_ = false;
};

constexpr char kErrorRetry[] =
    R"({"appendParamsAtEnd":"false","errorCode":"P206","errorParam":"","errorTitle":"",)"
    R"("errorType":"TarnInstallNetworkUnavailable","moreInfoLink":"","showContinue":"false",)"
    R"("showRetry":"true"})";
constexpr char kCompatibilityWarn[] =
    R"({"checkResult":"warn","failingList":[{"type":"ram"},{"type":"os"}],)"
    R"("systemRequirementURL":"https://example.test/requirements"})";

// Each action of each screen and alert: the command that shows it, the control, what goes out.
TEST_F(PageTest, EveryActionSendsItsMessageExactly) {
  initialize(bundleDictionary("en_US"), "en_US", true);
  struct Row {
    const char *command, *data, *control;
    Messages sent;
  };
  const std::string none;
  const Row rows[] = {
      {"showWelcomeScreen", "", "welcome-sign-in", {{"welcomeSignInButtonClick", ""}}},
      {"showWelcomeScreen", "", "welcome-sign-up", {{"welcomeSignUpButtonClick", ""}}},
      {"showWelcomeScreen",
       "",
       "welcome-test",
       {{"testAppContinueButtonClicked", R"({"signInClicked":"false","environment":""})"}}},
      {"showSurveyScreen",
       R"({"surveyQuestionsAlreadyFilled":"0"})",
       "survey-continue",
       {{"surveyContinueButtonClicked",
         R"({"skill":"beginner","job":"student","purpose":"personal"})"}}},
      {"showSurveyScreen",
       R"({"surveyQuestionsAlreadyFilled":"1"})",
       "survey-continue",
       {{"surveyContinueButtonClicked", R"({"skill":"","job":"","purpose":"personal"})"}}},
      {"showPiiScreen", "", "privacy-learn-more", {{"piiLearnMoreClicked", ""}}},
      {"showPiiScreen", "", "privacy-continue", {{"piiContinueButtonClicked", ""}}},
      {"showMainScreen",
       "",
       "location-change",
       {{"locationChangeClicked",
         R"({"alertTitle":"InstallLocationConfirmTitle","alertText":"InstallLocationConfirmText"})"}}},
      {"showMainScreen", "", "cancel", {{"cancelButtonClicked", ""}}},
      {"showErrorAlert", kErrorRetry, "error-retry", {{"retryClicked", ""}}},
      {"showErrorAlert", kErrorRetry, "error-quit", {{"cancelButtonClicked", ""}}},
      {"showErrorAlert",
       R"({"errorType":"X","showContinue":"true","showRetry":"false",)"
       R"("moreInfoLink":"https://example.test/help?a=1&b=2"})",
       "error-continue",
       {{"retryClicked", ""}}},
      {"showErrorAlert",
       R"({"errorType":"X","moreInfoLink":"https://example.test/help?a=1&b=2"})",
       "error-more",
       {{"openurl", "https://example.test/help?a=1&b=2"}}},
      {"showProxyAlert", "", "proxy-quit", {{"cancelButtonClicked", ""}}},
      {"showPathErrorAlert",
       R"({"alertTitle":"InstallLocationConfirmTitle","alertText":"InstallLocationConfirmText",)"
       R"("installLocation":"/opt/Orvel","errorParam":"","showAlertIcon":"true",)"
       R"("incorrectLocation":"false"})",
       "path-continue",
       {{"locationRetryClicked", ""}}},
      {"showPathErrorAlert",
       R"({"alertTitle":"A","alertText":"B","incorrectLocation":"true"})",
       "path-change",
       {{"locationChangeClicked",
         R"({"alertTitle":"InstallLocationConfirmTitle","alertText":"InstallLocationConfirmText"})"}}},
      {"showPathErrorAlert",
       R"({"alertTitle":"A","alertText":"B"})",
       "path-quit",
       {{"cancelButtonClicked", ""}}},
      {"showCompatibilityErrorAlert",
       kCompatibilityWarn,
       "compat-continue",
       {{"retryClicked", ""}}},
      {"showCompatibilityErrorAlert",
       kCompatibilityWarn,
       "compat-requirements",
       {{"openurl", "https://example.test/requirements"}}},
      {"showCompatibilityErrorAlert",
       R"({"checkResult":"fail"})",
       "compat-quit",
       {{"cancelButtonClicked", ""}}},
      {"showQuitConfirmation", "", "quit-yes", {{"quitConfirmationYesClicked", ""}}},
      {"showQuitConfirmation", "", "quit-no", {{"quitConfirmationNoClicked", ""}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.command) + " " + row.control);
    deliver(row.command, row.data);
    ASSERT_TRUE(visible(row.control));
    EXPECT_EQ(click(row.control), row.sent);
  }

  // The proxy's answer, with texts that need quoting, and the password never shown back.
  deliver("showProxyAlert");
  EXPECT_EQ(focused(), "proxy-user");
  js("document.getElementById('proxy-user').value = 'dom\\\\tester \"x\"';"
     "document.getElementById('proxy-password').value = 'p\\u00e4ss';"
     "document.getElementById('proxy-remember').checked = true; 1");
  EXPECT_EQ(click("proxy-log-in"), (Messages{{"proxyAlertLoginButtonClicked",
                                              R"({"userName":"dom\\tester \"x\"","password":"p)"
                                              "\xC3\xA4"
                                              R"(ss","rememberMe":"true"})"}}));
  EXPECT_EQ(shown(), "main/");
  deliver("showProxyAlert");
  EXPECT_EQ(js("document.getElementById('proxy-password').value"), "") << "no answer kept";
  click("proxy-quit");

  // Default content reports itself; a link that is no web address goes nowhere.
  recorder_.messages.clear();
  deliver("showDefaultContent", R"({"errorURL":"https://content.test/x"})");
  js("1");
  EXPECT_EQ(recorder_.messages,
            (Messages{{"defaultContentShown",
                       R"({"timeOut":"false","errorURL":"https://content.test/x"})"}}));
  deliver("showErrorAlert", R"x({"errorType":"X","moreInfoLink":"javascript:JSObject.x()"})x");
  EXPECT_FALSE(visible("error-more"));
  EXPECT_TRUE(click("error-more").empty());
}

TEST_F(PageTest, ProgressShowsBarPercentageAndTimeLeft) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  struct Row {
    const char *progress, *min, *max, *timeLeft;
  } rows[] = {{"0", "0", "0", "estimating"},
              {"37", "4", "6", "4 to 6 min"},
              {"80", "0", "2", "under 2 min"},
              {"100", "10000", "10002", ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.progress);
    deliver("updateProgress", std::string(R"({"minutesLeftMax":")") + row.max +
                                  R"(","minutesLeftMin":")" + row.min + R"(","progress":")" +
                                  row.progress + R"("})");
    EXPECT_EQ(js("String(document.getElementById('progress').value)"), row.progress);
    EXPECT_EQ(js("document.getElementById('progress').getAttribute('aria-valuenow')"),
              row.progress);
    EXPECT_EQ(js("document.getElementById('progress').getAttribute('aria-valuetext')"),
              std::string(row.progress) + "%");
    EXPECT_EQ(textOf("percent"), std::string(row.progress) + "%");
    EXPECT_EQ(textOf("time-left"), row.timeLeft);
  }
  EXPECT_EQ(js("document.getElementById('time-left').getAttribute('aria-live')"), "polite");
  // Figures that are no whole numbers leave the last ones standing.
  for (const char* bad :
       {"", "[]", R"({"progress":"-1","minutesLeftMin":"1","minutesLeftMax":"2"})",
        R"({"progress":"5x","minutesLeftMin":"1","minutesLeftMax":"2"})", R"({"progress":"5"})"}) {
    deliver("updateProgress", bad);
    EXPECT_EQ(textOf("percent"), "100%") << bad;
  }
  deliver("updateCancelButtonState", R"({"enabled":"false"})");
  EXPECT_EQ(js("document.getElementById('cancel').disabled"), "true");
  EXPECT_TRUE(click("cancel").empty());
  deliver("updateCancelButtonState", R"({"enabled":"true"})");
  EXPECT_EQ(js("document.getElementById('cancel').disabled"), "false");
}

TEST_F(PageTest, ErrorsShowTitleSentenceCodeAndTheOfferedButtons) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  struct Row {
    const char *type, *param, *title, *code, *retry, *resume, *append;
    const char *shownTitle, *sentence;
    bool retryShown, continueShown;
  } rows[] = {
      {"TarnInstallNetworkUnavailable", "", "", "P206", "true", "false", "false", "Problem",
       "Orvel Studio is offline.", true, false},
      {"InitErrorIncompatibleOS", "10.15", "", "P21", "false", "false", "false", "Problem",
       "Orvel Studio needs 10.15.", false, false},
      {"NoSuchText", "", "", "P-3", "true", "false", "false", "Problem", "Something failed.", true,
       false},
      {"ProductInstallationconflictingProcessErr", "Orvel Sketch",
       "ProductInstallationTitleConflict", "C131", "false", "true", "true", "Conflict",
       "Close this: Orvel Sketch", false, true},
      {"TarnInstallNetworkUnavailable", "", "", "P206", "false", "false", "false", "Problem",
       "Orvel Studio is offline.", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.type) + " " + row.code);
    deliver("showErrorAlert",
            std::string(R"({"appendParamsAtEnd":")") + row.append + R"(","errorCode":")" +
                row.code + R"(","errorParam":")" + row.param + R"(","errorTitle":")" + row.title +
                R"(","errorType":")" + row.type + R"(","moreInfoLink":"","showContinue":")" +
                row.resume + R"(","showRetry":")" + row.retry + R"("})");
    EXPECT_EQ(shown(), "main/error");
    EXPECT_EQ(js("document.querySelector('[data-overlay=error] [role=alertdialog]')"
                 ".getAttribute('aria-labelledby')"),
              "error-title");
    EXPECT_EQ(textOf("error-title"), row.shownTitle);
    EXPECT_EQ(textOf("error-text"), row.sentence);
    EXPECT_EQ(textOf("error-code"), std::string("Code ") + row.code);
    EXPECT_EQ(visible("error-retry"), row.retryShown);
    EXPECT_EQ(visible("error-continue"), row.continueShown);
    EXPECT_TRUE(visible("error-quit"));
    click("error-quit");
    EXPECT_EQ(shown(), "main/");
  }
}

// Outside texts are shown as text: markup in them neither renders nor runs.
TEST_F(PageTest, OutsideTextNeverBecomesMarkup) {
  initialize(kTestDictionary);
  const std::string hostile =
      R"(<img src=x onerror=\"JSObject.messageFromHtml('cancelButtonClicked','')\">)"
      R"(<script>JSObject.messageFromHtml('retryClicked','')</script>)";
  recorder_.messages.clear();
  deliver("showErrorAlert", R"({"errorType":"InitErrorIncompatibleOS","errorCode":"P21",)"
                            R"("errorParam":")" +
                                hostile + R"("})");
  deliver("showPathErrorAlert",
          R"({"alertTitle":"<b>t</b>","alertText":"x","installLocation":")" + hostile + R"("})");
  deliver("showCompatibilityErrorAlert",
          R"({"checkResult":"fail","failingList":[{"type":")" + hostile + R"("}]})");
  js("1");
  EXPECT_EQ(js("document.querySelectorAll('.shade img, .shade script, .shade b').length"), "0");
  EXPECT_NE(textOf("path-location").find("<script>"), std::string::npos);
  EXPECT_EQ(textOf("path-title"), "Other place");  // no such text: the generic one
  EXPECT_NE(js("document.querySelector('#compat-failing li').textContent").find("<img"),
            std::string::npos);
  deliver("showErrorAlert",
          R"({"errorType":"InitErrorIncompatibleOS","errorParam":")" + hostile + R"("})");
  EXPECT_NE(textOf("error-text").find("<script>JSObject"), std::string::npos);
  js("1");
  EXPECT_TRUE(recorder_.messages.empty());
}

TEST_F(PageTest, UnknownCommandsAndBadDataChangeNothing) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  recorder_.messages.clear();
  for (const auto& [name, data] : Messages{{"updateTarnProgress", R"({"progress":"50"})"},
                                           {"updateProductProgress", R"({"progress":"50"})"},
                                           {"updateTarnInstallWeightage", R"({"tarnSize":"9"})"},
                                           {"noSuchCommand", ""},
                                           {"__proto__", ""},
                                           {"constructor", ""},
                                           {"hasOwnProperty", ""},
                                           {"showErrorAlert", "not json"},
                                           {"showErrorAlert", "[1,2]"},
                                           {"showPathErrorAlert", "null"},
                                           {"showDefaultContent", "{"},
                                           {"sendSMSResponse", R"({"status":"success"})"}}) {
    deliver(name, data);
    EXPECT_EQ(shown(), "main/") << name << " " << data;
  }
  EXPECT_EQ(textOf("percent"), "0%");
  EXPECT_EQ(js("window.__taken.slice(-2).map(pair => pair.join('|')).join(',')"),
            "showDefaultContent|{,sendSMSResponse|{\"status\":\"success\"}");
  js("1");
  EXPECT_TRUE(recorder_.messages.empty()) << recorder_.messages[0].first;

  // An uncaught script error is logged through the bridge.
  js("setTimeout(() => { throw new Error('broken on purpose'); }, 0); 1");
  ASSERT_TRUE(waitFor([&] { return !recorder_.messages.empty(); }));
  EXPECT_EQ(recorder_.messages[0].first, "logMessage");
  // The engine hides the text of an error from a script of another origin, as this one is.
  EXPECT_EQ(recorder_.messages[0].second.rfind("Page error: ", 0), 0u);
}

TEST_F(PageTest, DictionariesNameTheTextsAndTheLanguage) {
  initialize("{}");
  deliver("showWelcomeScreen");
  // Without texts every control still has a name.
  EXPECT_EQ(js("Array.from(document.querySelectorAll('button')).filter(b => "
               "!b.textContent.trim()).length"),
            "0");
  EXPECT_EQ(js("document.documentElement.lang"), "en-US");

  initialize(bundleDictionary("de_DE"), "de_DE");
  EXPECT_EQ(js("document.documentElement.lang"), "de-DE");
  EXPECT_EQ(textOf("welcome-title"), "Willkommen bei Orvel Studio");
  EXPECT_EQ(js("document.title"), "Orvel Studio-Installationsprogramm");
  deliver("showMainScreen");
  deliver("updateProgress", R"({"minutesLeftMax":"6","minutesLeftMin":"4","progress":"37"})");
  EXPECT_EQ(textOf("time-left"), "Etwa 4 bis 6 Minuten verbleibend");

  initialize("{}", "../../etc");
  EXPECT_EQ(js("document.documentElement.lang"), "en");
}

// The path alert's texts: as the dictionary has them, in English where only English has them,
// the generic location texts for ids that name no text.
TEST_F(PageTest, PathAlertFallsBackToTheGenericLocationTexts) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  struct Row {
    const char *title, *text, *param, *shownTitle, *shownText;
  } rows[] = {
      {"InstallLocationTitleGenericErr", "InstallLocationRootPathErr", "/Volumes/Disk",
       "Other place", "Orvel Studio not on /Volumes/Disk."},
      {"InstallLocationConfirmTitle", "InstallLocationConfirmText", "", "Install in this location?",
       "Orvel Studio will be installed in the folder below."},
      {"NoSuchTitle", "NoSuchText", "x", "Other place", "Not here."},
      {"", "{1}", "x", "Other place", "Not here."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.title) + " " + row.text);
    deliver("showPathErrorAlert", std::string(R"({"alertTitle":")") + row.title +
                                      R"(","alertText":")" + row.text + R"(","errorParam":")" +
                                      row.param + R"(","installLocation":"/opt"})");
    EXPECT_EQ(textOf("path-title"), row.shownTitle);
    EXPECT_EQ(textOf("path-text"), row.shownText);
  }
}

// A link shows exactly when its click hands it to the browser: one check decides both.
TEST_F(PageTest, LinksShowOnlyWhenTheirClickOpensThem) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  struct Row {
    const char* link;  // as JSON text
    bool opens;
  } rows[] = {{"https://example.test/help?a=1&b=2", true},
              {"HTTP://example.test/", true},
              {"https://helpx.example/a b", false},
              {"https://", false},
              {"http:///path", false},
              {"https://example.test/\\u0007", false},
              {"javascript:JSObject.x()", false},
              {"file:///etc/passwd", false},
              {"", false}};
  for (const Row& row : rows) {
    for (const auto& [command, data, control] :
         {std::tuple<std::string, std::string, std::string>{
              "showErrorAlert",
              R"({"errorType":"X","moreInfoLink":")" + std::string(row.link) + "\"}", "error-more"},
          {"showCompatibilityErrorAlert",
           R"({"checkResult":"warn","systemRequirementURL":")" + std::string(row.link) + "\"}",
           "compat-requirements"}}) {
      SCOPED_TRACE(control + " " + row.link);
      deliver(command, data);
      EXPECT_EQ(visible(control), row.opens);
      const Messages sent = click(control);
      EXPECT_EQ(sent.size(), row.opens ? 1u : 0u);
      if (row.opens && !sent.empty()) {
        EXPECT_EQ(sent[0], Message("openurl", row.link));
      }
    }
  }
}

// In a small window, long unbroken texts wrap inside their dialog, and every part of a dialog
// taller than the window can be scrolled into view.
TEST_F(PageTest, LongTextsWrapAndTallDialogsScroll) {
  initialize(bundleDictionary("en_US"));
  gtk_window_resize(GTK_WINDOW(window_), 640, 360);
  ASSERT_TRUE(waitFor([&] { return js("innerWidth + 'x' + innerHeight") == "640x360"; }));
  deliver("showMainScreen");
  const std::string word(300, 'x');
  const std::string location = "/Volumes/" + std::string(1500, 'y');
  const Messages alerts = {
      {"showProxyAlert", ""},
      {"showPathErrorAlert", R"({"alertTitle":"InstallLocationTitleGenericErr",)"
                             R"("alertText":"ProductInstallationaccessPermissionErrNew",)"
                             R"("errorParam":")" +
                                 word + R"(","installLocation":")" + location + "\"}"},
      {"showErrorAlert", R"({"errorType":"InitErrorIncompatibleOS","errorParam":")" + word +
                             R"(","errorCode":")" + word +
                             R"(","showRetry":"true",)"
                             R"("moreInfoLink":"https://example.test/)" +
                             word + "\"}"},
      {"showCompatibilityErrorAlert", R"({"checkResult":"warn","failingList":[{"type":")" + word +
                                          R"("}],"systemRequirementURL":"https://example.test/"})"},
  };
  // What runs out of the dialog sideways, then what cannot be brought into view, by id or tag.
  const std::string faults =
      "(() => { const dialog = document.querySelector(\".shade:not([hidden]) [role=alertdialog]\");"
      "const name = e => e.id || e.tagName;"
      "const wide = [dialog, ...dialog.querySelectorAll('*')].filter(e => e.clientWidth > 0 &&"
      "  e.scrollWidth > e.clientWidth + 1).map(name);"
      "if (dialog.getBoundingClientRect().right > innerWidth) wide.push('dialog');"
      "const parts = [dialog, ...dialog.querySelectorAll('h2, button, input')].filter(e =>"
      "  e.getClientRects().length > 0);"
      "const lost = parts.filter(e => {"
      "  e.scrollIntoView({block: 'start'}); const top = e.getBoundingClientRect().top;"
      "  e.scrollIntoView({block: 'end'}); const bottom = e.getBoundingClientRect().bottom;"
      "  return top < -1 || bottom > innerHeight + 1; }).map(name);"
      "return wide.join(' ') + '|' + lost.join(' '); })()";
  for (const auto& [command, data] : alerts) {
    SCOPED_TRACE(command);
    deliver(command, data);
    EXPECT_EQ(js(faults), "|");
  }
}

// Outside texts keep their own order and leave the sentence around them in its own: a direction
// override in a location overrides nothing, a right-to-left name moves no figure after it.
TEST_F(PageTest, OutsideTextsKeepTheirOrderAndThatOfTheirSentence) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  // Whether the first `first` of the element's text is drawn left of its last `last`.
  js("window.__leftOf = (id, first, last) => {"
     "  const spots = [];"
     "  const walk = document.createTreeWalker(document.getElementById(id), NodeFilter.SHOW_TEXT);"
     "  for (let node; (node = walk.nextNode());)"
     "    for (let i = 0; i < node.data.length; ++i) spots.push([node, i]);"
     "  const text = spots.map(([node, i]) => node.data[i]).join('');"
     "  const left = (at) => { const range = document.createRange();"
     "    range.setStart(spots[at][0], spots[at][1]); range.setEnd(spots[at][0], spots[at][1] + 1);"
     "    return range.getBoundingClientRect().left; };"
     "  return left(text.indexOf(first)) < left(text.lastIndexOf(last)); }; 1");
  const std::string override = "\xE2\x80\xAE";  // U+202E, right-to-left override
  const std::string hebrew = "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA";
  struct Row {
    std::string command, data, element, first, last;
  } rows[] = {
      {"showPathErrorAlert",
       R"({"alertTitle":"A","alertText":"B","installLocation":"/opt/)" + override + R"(gnp.exe"})",
       "path-location", "g", "e"},
      {"showErrorAlert",
       R"({"errorType":"InitErrorIncompatibleOS","errorParam":")" + override + R"(10.15"})",
       "error-text", "1", "."},
      {"showErrorAlert", R"({"errorType":"CopiesProbe","errorParam":")" + hebrew + "\"}",
       "error-text", hebrew.substr(0, 2), "2"},
      {"showErrorAlert", R"({"errorType":"X","errorCode":")" + override + R"(P206"})", "error-code",
       "P", "6"},
      {"showCompatibilityErrorAlert",
       R"({"checkResult":"fail","failingList":[{"type":")" + override + R"(ram"}]})",
       "compat-failing", "r", "m"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.element + " " + row.data);
    deliver(row.command, row.data);
    EXPECT_EQ(js("__leftOf('" + row.element + "', '" + row.first + "', '" + row.last + "')"),
              "true");
  }
}

// The page keeps nothing of what it is sent: a long installation's progress leaves no record.
TEST_F(PageTest, ThePageKeepsNoRecordOfItsMessages) {
  initialize(kTestDictionary);
  deliver("showMainScreen");
  // Every array the window holds, with its length, less the test's own watch.
  const std::string arrays =
      "Object.getOwnPropertyNames(window).filter(k => { try { return k !== '__taken' &&"
      "  Array.isArray(window[k]); } catch (e) { return false; } })"
      ".map(k => k + ':' + window[k].length).join(',')";
  const std::string before = js(arrays);
  constexpr int kUpdates = 2000;
  for (int i = 0; i < kUpdates; ++i) {
    ASSERT_TRUE(host_->sendMessage("updateProgress",
                                   R"({"minutesLeftMax":"6","minutesLeftMin":"4","progress":")" +
                                       std::to_string(i % 100) + "\"}"));
  }
  delivered_ += kUpdates;
  const std::string count = std::to_string(delivered_);
  ASSERT_TRUE(waitFor([&] { return js("String(window.__taken.length)") == count; }));
  EXPECT_EQ(js(arrays), before);
}

// A text never shows blank: before any dictionary and with no usable one, each is its English
// text (the bundle's page carries it), the window's title included.
TEST_F(PageTest, TextsFallBackToEnglishWithoutAUsableDictionary) {
  const std::string blanks =
      "Array.from(document.querySelectorAll('[data-text]')).filter(e => !e.textContent.trim())"
      ".map(e => e.dataset.text).concat(document.title.trim() ? [] : ['(title)']).join(' ')";
  EXPECT_EQ(js(blanks), "");
  EXPECT_EQ(textOf("spinner-text"), "Please wait\xE2\x80\xA6");
  // The ids whose element does not show the English text.
  const std::string notEnglish =
      "(() => { const english = " + bundleDictionary("en_US") +
      "; return Array.from(document.querySelectorAll('[data-text]')).filter(e => e.textContent !=="
      " english[e.dataset.text].message.split('{0}').join('Orvel Studio'))"
      ".map(e => e.dataset.text).join(' '); })()";
  for (const char* map : {"{}", R"("unreadable")",
                          R"({"WelcomeSignIn":{"message":""},"Quit":{"message":5},)"
                          R"("Retry":"plain","WindowTitle":{"message":""}})"}) {
    SCOPED_TRACE(map);
    initialize(map);
    EXPECT_EQ(js(notEnglish), "");
    EXPECT_EQ(js("document.title"), "Orvel Studio Installer");
  }
}

// Tab reaches every control of a screen; an alert takes the focus, keeps it and gives it back.
TEST_F(PageTest, KeyboardAloneReachesEveryActionAndAlertsHoldTheFocus) {
  initialize(bundleDictionary("en_US"), "en_US", true);
  for (const char* command :
       {"showWelcomeScreen", "showSurveyScreen", "showPiiScreen", "showMainScreen"}) {
    SCOPED_TRACE(command);
    deliver(command);
    const std::vector<std::string> controls = reachable();
    ASSERT_FALSE(controls.empty());
    std::vector<std::string> visited;
    for (size_t i = 0; i < controls.size(); ++i) {
      tab();
      visited.push_back(focused());
    }
    EXPECT_EQ(visited, controls);
  }

  // On the main screen: focus on Cancel, then the alerts.
  for (int i = 0; i < 4 && focused() != "cancel"; ++i) tab();
  ASSERT_EQ(focused(), "cancel");
  // Every alert starts at its first action (the proxy's at its first field, the quit
  // confirmation's at the choice that keeps installing, so that Enter or Space at once quits
  // nothing), Tab cycles through all of its controls and nothing else, and its answer by keyboard
  // closes it.
  struct Alert {
    const char *command, *data, *first;
    size_t controls;
    const char *answer, *sent;
  } alerts[] = {
      {"showErrorAlert", kErrorRetry, "error-retry", 2, "error-retry", "retryClicked"},
      {"showProxyAlert", "", "proxy-user", 5, "proxy-quit", "cancelButtonClicked"},
      {"showPathErrorAlert", R"({"alertTitle":"A","alertText":"B","installLocation":"/opt"})",
       "path-continue", 3, "path-quit", "cancelButtonClicked"},
      {"showCompatibilityErrorAlert", kCompatibilityWarn, "compat-continue", 3, "compat-quit",
       "cancelButtonClicked"},
      {"showQuitConfirmation", "", "quit-no", 2, "quit-no", "quitConfirmationNoClicked"},
  };
  for (const Alert& alert : alerts) {
    SCOPED_TRACE(alert.command);
    deliver(alert.command, alert.data);
    ASSERT_EQ(focused(), alert.first);
    const std::vector<std::string> controls = reachable();
    ASSERT_EQ(controls.size(), alert.controls);
    const size_t start =
        std::find(controls.begin(), controls.end(), alert.first) - controls.begin();
    for (size_t i = 1; i <= controls.size(); ++i) {
      tab();
      EXPECT_EQ(focused(), controls[(start + i) % controls.size()]);
    }
    backTab();
    EXPECT_EQ(focused(), controls[(start + controls.size() - 1) % controls.size()]);
    for (size_t i = 0; i < controls.size() && focused() != alert.answer; ++i) tab();
    recorder_.messages.clear();
    ASSERT_EQ(focused(), alert.answer);
    press(GDK_KEY_Return);
    js("1");
    ASSERT_EQ(recorder_.messages.size(), 1u);
    EXPECT_EQ(recorder_.messages[0].first, alert.sent);
    EXPECT_EQ(shown(), "main/");
    EXPECT_EQ(focused(), "cancel");
  }
  deliver("showQuitConfirmation");
  recorder_.messages.clear();
  press(GDK_KEY_space);
  js("1");
  EXPECT_EQ(recorder_.messages, (Messages{{"quitConfirmationNoClicked", ""}}));

  deliver("showProxyAlert");
  tab();
  tab();
  press(GDK_KEY_space);
  EXPECT_EQ(js("document.getElementById('proxy-remember').checked"), "true");
}

// axe-core on every screen and alert: no serious or critical finding.
TEST_F(PageTest, AxeFindsNothingSeriousOnAnyScreenOrAlert) {
  const std::string axe = readFile(WEND_AXE_SCRIPT);
  ASSERT_FALSE(axe.empty()) << WEND_AXE_SCRIPT << ": run scripts/install-deps";
  initialize(bundleDictionary("en_US"), "en_US", true);
  ASSERT_EQ(js(axe + "\n;typeof axe"), "object");
  const Messages states = {{"showSpinnerScreen", ""},
                           {"showWelcomeScreen", ""},
                           {"showSurveyScreen", R"({"surveyQuestionsAlreadyFilled":"0"})"},
                           {"showPiiScreen", ""},
                           {"showMainScreen", ""},
                           {"showErrorAlert", kErrorRetry},
                           {"showProxyAlert", ""},
                           {"showPathErrorAlert", R"({"alertTitle":"InstallLocationConfirmTitle",)"
                                                  R"("alertText":"InstallLocationConfirmText",)"
                                                  R"("installLocation":"/opt/Orvel"})"},
                           {"showCompatibilityErrorAlert", kCompatibilityWarn},
                           {"showQuitConfirmation", ""},
                           {"showQuittingScreen", ""},
                           {"showLaunchingProductScreen", ""},
                           {"showDefaultContent", R"({"errorURL":""})"}};
  // The serious and critical findings, as "rule: elements; ...".
  auto findings = [&] {
    js("window.__axe = null; axe.run(document, {resultTypes: ['violations']}).then(r => {"
       "window.__axe = r.violations.filter(v => v.impact === 'serious' || v.impact === 'critical')"
       ".map(v => v.id + ': ' + v.nodes.map(n => n.target.join(' ')).join(', ')).join('; '); },"
       "e => { window.__axe = 'axe failed: ' + e; }); 1");
    EXPECT_TRUE(waitFor([&] { return js("window.__axe !== null") == "true"; }));
    return js("window.__axe");
  };
  // The checker sees a fault when there is one: a button without a name.
  js("document.getElementById('screens').appendChild(document.createElement('button')).id = "
     "'unnamed'; 1");
  EXPECT_EQ(findings(), "button-name: #unnamed");
  js("document.getElementById('unnamed').remove(); 1");

  for (const auto& [command, data] : states) {
    SCOPED_TRACE(command);
    js("document.querySelectorAll('.shade').forEach(s => s.hidden = true);"
       "document.getElementById('screens').inert = false; document.body.dataset.overlay = ''; 1");
    deliver(command, data);
    EXPECT_EQ(findings(), "");
  }
}

}  // namespace
}  // namespace mediation
