#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mediation/ui/gtk/WebViewHost.h"
#include "tests/mediation/ui/gtk/support/Display.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace mediation {
namespace {

// A screen named on the body, a field whose input shows in a line, a button that moves on to the
// next screen and overlay a moment later, and two buttons nobody can press.
constexpr char kPage[] = R"(<!DOCTYPE html><html><body data-screen="start" style="margin:0">
<input id="name"><span id="echo"></span>
<button id="go">Go</button><button id="off" disabled>Off</button>
<button id="hidden" style="display:none">Hidden</button>
<script>
document.getElementById("name").addEventListener("input", e => {
  document.getElementById("echo").textContent = "hello " + e.target.value;
});
document.getElementById("go").addEventListener("click", () => setTimeout(() => {
  document.body.dataset.screen = "done";
  document.body.dataset.overlay = "thanks";
}, 50));
</script></body></html>)";

using Initialize = void (*)(int, char**);
using Register = void (*)(const char*, HtmlView*);
using Finalize = void (*)();

bool exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

// Whether the image holds more than one colour: the page drawn, not an empty view.
bool drawn(cairo_surface_t* image) {
  const unsigned char* pixels = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  const uint32_t first = *reinterpret_cast<const uint32_t*>(pixels);
  for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(pixels + y * stride);
    for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
      if (row[x] != first) return true;
    }
  }
  return false;
}

std::string contents(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class HTMLViewTesterTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(wendtest::openFixtureDisplay()) << WEND_DISPLAY_FILE;
    // Loaded once for the suite: the hook stays mapped once loaded.
    void* hook = dlopen(WEND_HTMLVIEWTESTER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hook, nullptr) << dlerror();
    initialize_ = reinterpret_cast<Initialize>(dlsym(hook, "initializeTester"));
    register_ = reinterpret_cast<Register>(dlsym(hook, "registerHTMLView"));
    finalize_ = reinterpret_cast<Finalize>(dlsym(hook, "finalizeTester"));
    ASSERT_TRUE(initialize_ && register_ && finalize_);
  }

  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 320, 240);
    gtk_widget_show(window_);
  }

  void TearDown() override {
    finalize_();
    host_.reset();
    gtk_widget_destroy(window_);
  }

  // Runs the main loop until `done` holds or 30 s have passed.
  template <typename Predicate>
  bool waitFor(Predicate done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    return done();
  }

  // As the mediator does: the hook first, then the page's view, made and registered.
  void start(const std::string& scenario) {
    std::ofstream(folder_ / "scenario") << scenario;
    wendtest::ScopedEnv scenarioFile("WEND_UI_SCENARIO", folder_ / "scenario");
    wendtest::ScopedEnv shotsFolder("WEND_UI_SHOTS", shots_);
    char program[] = "Install";
    char* arguments[] = {program, nullptr};
    initialize_(1, arguments);
    std::ofstream(folder_ / "page.html") << kPage;
    HtmlViewInitData data;
    data.parentViewPtr = window_;
    data.initUrl = "file://" + folder_ / "page.html";
    ASSERT_TRUE(host_->create(data));
    register_("main", host_.get());
  }

  // Plays the scenario to its end: "DONE" or "FAILED".
  std::string play(const std::string& scenario) {
    start(scenario);
    if (!waitFor([&] { return exists(shots_ + "/DONE") || exists(shots_ + "/FAILED"); })) {
      return "no outcome";
    }
    return exists(shots_ + "/DONE") ? "DONE" : "FAILED";
  }

  static inline Initialize initialize_;
  static inline Register register_;
  static inline Finalize finalize_;
  wendtest::TemporaryFolder folder_;
  const std::string shots_ = folder_ / "shots";
  MainThread main_;
  std::unique_ptr<WebViewHost> host_ = std::make_unique<WebViewHost>(main_, WebViewHostSettings{});
  GtkWidget* window_ = nullptr;
};

// A snapshot's name says the screen and, when one is up, the overlay; stderr says what a wait for
// a text read.
TEST_F(HTMLViewTesterTest, StepsDriveThePageAndSnapshotsAreNumberedAfterTheScreenAndOverlayShown) {
  testing::internal::CaptureStderr();
  const std::string outcome = play(
      "wait start\n"
      "snapshot\n"
      "type #name tester\n"
      "wait-text #echo hello\n"
      // The text sought may lie beyond what a message shows of it.
      "type #name " + std::string(90, 'x') + " tail\n"
      "wait-text #echo tail\n"
      "click #go\n"
      "wait done\n"
      "wait-overlay thanks\n"
      "snapshot\n");
  const std::string stderrText = testing::internal::GetCapturedStderr();
  ASSERT_EQ(outcome, "DONE") << contents(shots_ + "/FAILED");
  EXPECT_NE(stderrText.find("HTMLViewTester: #echo reads \"hello tester\"\n"), std::string::npos)
      << stderrText;
  GtkWidget* webView = GTK_WIDGET(host_->getWebView());
  for (const char* name : {"01-start.png", "02-done-thanks.png"}) {
    cairo_surface_t* image = cairo_image_surface_create_from_png((shots_ + "/" + name).c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << name;
    EXPECT_EQ(cairo_image_surface_get_width(image), gtk_widget_get_allocated_width(webView));
    EXPECT_EQ(cairo_image_surface_get_height(image), gtk_widget_get_allocated_height(webView));
    EXPECT_TRUE(drawn(image)) << name;
    cairo_surface_destroy(image);
  }
  EXPECT_FALSE(exists(shots_ + "/FAILED"));
}

// Each scenario fails: the marker and stderr name the step and, where the page answers, the screen.
// The page is up before the short time-out starts.
TEST_F(HTMLViewTesterTest, AFailedStepEndsTheScenarioNamingTheStepAndTheScreen) {
  struct Row {
    const char* scenario;
    std::vector<const char*> said;
    bool shotBlocked = false;  // a folder stands where the first snapshot goes
  } rows[] = {
      {"wait start\ntimeout 0.5\nwait never\nsnapshot\n",
       {"step 3 (line 3) \"wait never\" timed out after 0.5 s",
        "screen shown: \"start\", overlay: none"}},
      {"wait start\ntimeout 0.5\nclick #hidden\n",
       {"\"click #hidden\" timed out", "#hidden is not shown"}},
      {"wait start\ntimeout 0.5\nclick #off\n", {"#off is disabled"}},
      {"wait start\ntimeout 0.5\nview idra\nwait start\n", {"no view \"idra\" is registered"}},
      {"wait start\nhop\n", {"line 2 is not a step: \"hop\""}},
      {"wait start\nsnapshot\n", {"step 2 (line 2) \"snapshot\" failed: cannot write"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scenario);
    if (row.shotBlocked) std::filesystem::create_directories(shots_ + "/01-start.png");
    testing::internal::CaptureStderr();
    const std::string outcome = play(row.scenario);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    ASSERT_EQ(outcome, "FAILED");
    const std::string failure = contents(shots_ + "/FAILED");
    for (const char* text : row.said) {
      EXPECT_NE(failure.find(text), std::string::npos) << failure;
      EXPECT_NE(stderrText.find(text), std::string::npos) << stderrText;
    }
    EXPECT_EQ(exists(shots_ + "/01-start.png"), row.shotBlocked);
    finalize_();
    host_ = std::make_unique<WebViewHost>(main_, WebViewHostSettings{});
    std::remove((shots_ + "/FAILED").c_str());
  }
}

TEST_F(HTMLViewTesterTest, WithoutAScenarioTheHookDoesNothing) {
  wendtest::ScopedEnv noScenario("WEND_UI_SCENARIO", std::nullopt);
  wendtest::ScopedEnv shotsFolder("WEND_UI_SHOTS", shots_);
  initialize_(0, nullptr);
  register_("main", host_.get());
  finalize_();
  EXPECT_FALSE(exists(shots_));
}

}  // namespace
}  // namespace mediation
