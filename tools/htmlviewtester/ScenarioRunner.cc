#include "tools/htmlviewtester/ScenarioRunner.h"

#include <cairo.h>
#include <glib.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

namespace htmlviewtester {
namespace {

using Shared = ScenarioRunner::Shared;

constexpr char kStepsPassed[] = "DONE";
constexpr char kStepFailed[] = "FAILED";
constexpr char kLogPrefix[] = "HTMLViewTester: ";

// What the page's body says is shown: "<screen>\n<overlay>".
constexpr char kScreenScript[] =
    "(() => { const d = document.body ? document.body.dataset : {};"
    " return (d.screen || '') + '\\n' + (d.overlay || ''); })()";

// Each answers "ok" when done, else why not yet. The element must be shown: a button of a screen
// that is not up is no button the user could press.
constexpr char kFindShown[] =
    "const e = document.querySelector(selector);"
    " if (!e) return 'no element matches ' + selector;"
    " if (!e.getClientRects().length) return selector + ' is not shown';";
constexpr char kClickScript[] =
    " if (e.disabled) return selector + ' is disabled';"
    " e.click(); return 'ok';";
constexpr char kTypeScript[] =
    " if (e.disabled) return selector + ' is disabled';"
    " e.focus(); e.value = text;"
    " e.dispatchEvent(new InputEvent('input', {bubbles: true, inputType: 'insertText', data: "
    "text}));"
    " e.dispatchEvent(new Event('change', {bubbles: true})); return 'ok';";
// Answers "ok" and, on the next line, the start of the text it read.
constexpr char kTextScript[] =
    " const shown = e.textContent.replace(/\\s+/g, ' ').trim(), head = shown.slice(0, 80);"
    " return shown.includes(text) ? 'ok\\n' + head : selector + ' reads \"' + head + '\"';";

// A script text literal of `text`: nothing in it can end the literal or the script.
std::string jsString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = text[i];
    // U+2028 and U+2029 end a line inside a literal in older engines.
    if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xA8) {
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// (selector, text) => { <body> } called with the step's operands.
std::string elementScript(const std::string& body, const Step& step) {
  return "((selector, text) => { " + std::string(kFindShown) + body + " })(" +
         jsString(step.target) + ", " + jsString(step.text) + ")";
}

// A screen or overlay name as a file-name part: letters, digits, '-' and '_' kept, anything
// else '_'.
std::string fileNamePart(const std::string& name) {
  if (name.empty()) return "none";
  std::string out = name;
  for (char& c : out) {
    if (!g_ascii_isalnum(c) && c != '-' && c != '_') c = '_';
  }
  return out;
}

// "screen shown: "<screen>", overlay: none" or "overlay: "<overlay>"".
std::string screenShown(const std::string& screen, const std::string& overlay) {
  return "screen shown: \"" + screen +
         "\", overlay: " + (overlay.empty() ? "none" : "\"" + overlay + "\"");
}

std::string seconds(std::chrono::milliseconds duration) {
  std::ostringstream out;
  out << duration.count() / 1000.0;
  return out.str();
}

// The answer of one piece of work handed to the UI thread; guarded by Shared::mutex.
struct Answer {
  bool given = false;
  std::optional<std::string> text;  // nullopt: the work could not be done
  std::string failure;              // why, when text is nullopt
};

void give(Shared& shared, Answer& answer, std::optional<std::string> text,
          const std::string& failure = "the page gave no result") {
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    answer.given = true;
    answer.text = std::move(text);
    answer.failure = failure;
  }
  shared.changed.notify_all();
}

// The registered view of that name, on the UI thread; null once stopping.
mediation::HtmlView* liveView(Shared& shared, const std::string& name) {
  std::lock_guard<std::mutex> lock(shared.mutex);
  auto found = shared.views.find(name);
  return shared.stopping || found == shared.views.end() ? nullptr : found->second;
}

// The UI thread's end of the hand-off: a source on the default main context, made on the UI
// thread and woken by setting its ready time, runs the work queued in Shared. Nothing crosses
// between the threads but through Shared's mutex, and once the source is destroyed nothing of
// the runner's runs on the UI thread.
gboolean dispatchWake(GSource* source, GSourceFunc callback, gpointer data) {
  g_source_set_ready_time(source, -1);
  return callback(data);
}

GSourceFuncs wakeFuncs = {nullptr, nullptr, dispatchWake, nullptr, nullptr, nullptr};

gboolean runUiWork(gpointer data) {
  Shared& shared = **static_cast<std::shared_ptr<Shared>*>(data);
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    batch.swap(shared.uiWork);
  }
  for (auto& work : batch) work();
  return G_SOURCE_CONTINUE;
}

// Queues `work` for the UI thread; called on the scenario's thread.
void onUiThread(Shared& shared, std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.uiWork.push_back(std::move(work));
  }
  g_source_set_ready_time(shared.wake, 0);
}

struct SnapshotCall {
  std::shared_ptr<Shared> shared;
  std::shared_ptr<Answer> answer;
  std::string path;
};

void onSnapshot(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<SnapshotCall> call(static_cast<SnapshotCall*>(data));
  GError* error = nullptr;
  cairo_surface_t* surface =
      webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (!surface) {
    give(*call->shared, *call->answer, std::nullopt,
         std::string("the web view gave no snapshot: ") + (error ? error->message : "no error"));
    if (error) g_error_free(error);
    return;
  }
  const cairo_status_t status = cairo_surface_write_to_png(surface, call->path.c_str());
  cairo_surface_destroy(surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    give(*call->shared, *call->answer, "ok");
  } else {
    give(*call->shared, *call->answer, std::nullopt,
         "cannot write " + call->path + ": " + cairo_status_to_string(status));
  }
}

}  // namespace

ScenarioRunner::ScenarioRunner(std::vector<Step> steps, RunnerSettings settings)
    : steps_(std::move(steps)), settings_(std::move(settings)), timeout_(settings_.stepTimeout) {
  GSource* wake = g_source_new(&wakeFuncs, sizeof(GSource));
  g_source_set_callback(wake, runUiWork, new std::shared_ptr<Shared>(shared_),
                        [](gpointer data) { delete static_cast<std::shared_ptr<Shared>*>(data); });
  g_source_set_ready_time(wake, -1);
  g_source_attach(wake, g_main_context_default());
  shared_->wake = wake;
}

ScenarioRunner::~ScenarioRunner() {
  stop();
}

void ScenarioRunner::start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void ScenarioRunner::registerView(const std::string& name, mediation::HtmlView* view) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->views[name] = view;
  }
  shared_->changed.notify_all();
}

void ScenarioRunner::stop() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->changed.notify_all();
  if (thread_.joinable()) thread_.join();
  // Work not run yet holds the shared state: dropped here, outside the lock.
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    dropped.swap(shared_->uiWork);
  }
  if (shared_->wake) {
    g_source_destroy(shared_->wake);
    g_source_unref(shared_->wake);
    shared_->wake = nullptr;
  }
}

bool ScenarioRunner::stopping() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->stopping;
}

void ScenarioRunner::run() {
  size_t passed = 0;
  for (const Step& step : steps_) {
    std::string detail;
    const Outcome outcome = runStep(step, detail);
    if (outcome != Outcome::kPassed) {
      const std::string which = "step " + std::to_string(&step - steps_.data() + 1) + " (line " +
                                std::to_string(step.line) + ") \"" + step.source + "\"";
      std::string message;
      if (outcome == Outcome::kStopped) {
        message = "the application ended during " + which;
      } else {
        message = which +
                  (outcome == Outcome::kTimedOut ? " timed out after " + seconds(timeout_) + " s"
                                                 : std::string(" failed")) +
                  (detail.empty() ? "" : ": " + detail);
        std::string screen, overlay;
        if (shownScreen(Clock::now() + settings_.lastLook, screen, overlay)) {
          message += "; " + screenShown(screen, overlay);
        } else {
          message += "; the page shows no screen";
        }
      }
      finish(kStepFailed, message);
      break;
    }
    ++passed;
  }
  if (passed == steps_.size()) {
    finish(kStepsPassed, std::to_string(passed) + " steps passed");
  }
  // What the user last saw tells whoever drives the run how it ended.
  if (stopping()) {
    const std::string seen = lastScreen_
                                 ? "; last " + screenShown(lastScreen_->first, lastScreen_->second)
                                 : " before the page showed a screen";
    std::fprintf(stderr, "%sthe application ended%s\n", kLogPrefix, seen.c_str());
  }
}

ScenarioRunner::Outcome ScenarioRunner::runStep(const Step& step, std::string& detail) {
  const auto deadline = Clock::now() + timeout_;
  // Asks the page until `done` holds of its answer; an element script's answer says why not.
  auto untilElement = [&](const char* body, auto done) {
    const std::string script = elementScript(body, step);
    return poll(deadline, [&] {
      const std::optional<std::string> answer = evaluate(script, deadline, detail);
      if (answer && done(*answer)) return Attempt::kDone;
      if (answer) detail = *answer;
      return Attempt::kAgain;
    });
  };
  // The screen's answer needs no words: the screen shown ends every failure's message.
  auto untilShown = [&](std::string ScreenLook::*part) {
    return poll(deadline, [&] {
      const std::optional<ScreenLook> look = lookAtScreen(deadline, detail);
      if (look && (*look).*part == step.target) return Attempt::kDone;
      if (look) detail.clear();
      return Attempt::kAgain;
    });
  };
  auto isOk = [](const std::string& answer) { return answer == "ok"; };
  // Says what it read: the run's driver reports it (an alert's code, say).
  auto readsText = [&](const std::string& answer) {
    if (answer.rfind("ok\n", 0) != 0) return false;
    std::fprintf(stderr, "%s%s reads \"%s\"\n", kLogPrefix, step.target.c_str(),
                 answer.substr(3).c_str());
    return true;
  };
  switch (step.kind) {
    case StepKind::kView:
      viewName_ = step.target;
      return Outcome::kPassed;
    case StepKind::kTimeout:
      timeout_ = std::chrono::milliseconds(step.timeoutMs);
      return Outcome::kPassed;
    case StepKind::kWait:
      return untilShown(&ScreenLook::first);
    case StepKind::kWaitOverlay:
      return untilShown(&ScreenLook::second);
    case StepKind::kWaitText:
      return untilElement(kTextScript, readsText);
    case StepKind::kClick:
      return untilElement(kClickScript, isOk);
    case StepKind::kType:
      return untilElement(kTypeScript, isOk);
    case StepKind::kWaitEnd: {
      // Looking on, so that the screen the application ends on is known.
      const Outcome outcome = poll(deadline, [&] {
        std::string ignored;
        lookAtScreen(deadline, ignored);
        return Attempt::kAgain;
      });
      return outcome == Outcome::kStopped ? Outcome::kPassed : outcome;
    }
    case StepKind::kSnapshot:
      return poll(deadline, [&] { return snapshot(deadline, detail); });
    case StepKind::kWaitFile: {
      const std::string path = settings_.shotsFolder + "/" + step.target;
      return poll(deadline, [&] {
        return g_file_test(path.c_str(), G_FILE_TEST_EXISTS) ? Attempt::kDone : Attempt::kAgain;
      });
    }
  }
  return Outcome::kFailed;
}

template <typename Try>
ScenarioRunner::Outcome ScenarioRunner::poll(Clock::time_point deadline, Try attempt) {
  for (;;) {
    const Attempt result = attempt();
    if (result == Attempt::kDone) return Outcome::kPassed;
    if (stopping()) return Outcome::kStopped;
    if (result == Attempt::kFailed) return Outcome::kFailed;
    if (Clock::now() >= deadline) return Outcome::kTimedOut;
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->changed.wait_until(lock, std::min(deadline, Clock::now() + settings_.pollInterval),
                                [&] { return shared_->stopping; });
  }
}

ScenarioRunner::Attempt ScenarioRunner::snapshot(Clock::time_point deadline, std::string& detail) {
  std::string screen, overlay;
  if (!shownScreen(deadline, screen, overlay)) {
    detail = "the page shows no screen";
    return Attempt::kAgain;
  }
  char number[16];
  std::snprintf(number, sizeof number, "%02d-", shots_ + 1);
  const std::string path = settings_.shotsFolder + "/" + number + fileNamePart(screen) +
                           (overlay.empty() ? "" : "-" + fileNamePart(overlay)) + ".png";
  auto answer = std::make_shared<Answer>();
  onUiThread(*shared_, [shared = shared_, answer, name = viewName_, path] {
    mediation::HtmlView* view = liveView(*shared, name);
    void* webView = view ? view->getWebView() : nullptr;
    if (!webView) return give(*shared, *answer, std::nullopt, "the view has no web view");
    webkit_web_view_get_snapshot(WEBKIT_WEB_VIEW(webView), WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                 WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr, onSnapshot,
                                 new SnapshotCall{shared, answer, path});
  });
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->changed.wait_until(lock, deadline, [&] { return shared_->stopping || answer->given; });
  if (!answer->given) return Attempt::kAgain;
  if (!answer->text) {
    detail = answer->failure;
    return Attempt::kFailed;
  }
  ++shots_;
  std::fprintf(stderr, "%ssaved %s\n", kLogPrefix, path.c_str());
  return Attempt::kDone;
}

std::optional<std::string> ScenarioRunner::evaluate(const std::string& script,
                                                    Clock::time_point deadline,
                                                    std::string& failure) {
  auto answer = std::make_shared<Answer>();
  onUiThread(*shared_, [shared = shared_, answer, name = viewName_, script] {
    mediation::HtmlView* view = liveView(*shared, name);
    auto done = [shared, answer](std::optional<std::string> text) {
      give(*shared, *answer, std::move(text));
    };
    if (!view)
      return give(*shared, *answer, std::nullopt, "no view \"" + name + "\" is registered");
    if (!view->executeScript(script, 0, done)) give(*shared, *answer, std::nullopt);
  });
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->changed.wait_until(lock, deadline, [&] { return shared_->stopping || answer->given; });
  if (!answer->given) {
    // Cut off by the deadline: an earlier look's reason says more.
    if (failure.empty()) failure = "the page did not answer";
    return std::nullopt;
  }
  if (!answer->text) failure = answer->failure;
  return answer->text;
}

std::optional<ScenarioRunner::ScreenLook> ScenarioRunner::lookAtScreen(Clock::time_point deadline,
                                                                       std::string& failure) {
  const std::optional<std::string> answer = evaluate(kScreenScript, deadline, failure);
  if (!answer) return std::nullopt;
  const auto cut = answer->find('\n');
  lastScreen_ =
      ScreenLook{answer->substr(0, cut), cut == std::string::npos ? "" : answer->substr(cut + 1)};
  return lastScreen_;
}

bool ScenarioRunner::shownScreen(Clock::time_point deadline, std::string& screen,
                                 std::string& overlay) {
  std::string failure;
  const std::optional<ScreenLook> look = lookAtScreen(deadline, failure);
  if (!look) return false;
  screen = look->first;
  overlay = look->second;
  return true;
}

void ScenarioRunner::finish(const std::string& marker, const std::string& message) {
  if (marker == kStepFailed) std::fprintf(stderr, "%s%s\n", kLogPrefix, message.c_str());
  writeOutcome(settings_.shotsFolder, marker, message);
}

void writeOutcome(const std::string& folder, const std::string& marker,
                  const std::string& message) {
  const std::string path = folder + "/" + marker;
  std::ofstream(path + ".part") << message << "\n";
  std::rename((path + ".part").c_str(), path.c_str());
}

}  // namespace htmlviewtester
