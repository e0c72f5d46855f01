// The installer's UI test hook, "HTMLViewTester.dylib". Put into the product's Application
// Support folder, it is loaded by the interface's view mediator, told the process's arguments,
// handed each HTML view as it is made ("main", "idra", "idraType3") and told to finish when the
// mediator goes. Without WEND_UI_SCENARIO it does nothing.
//
// WEND_UI_SCENARIO names a scenario file, played on a thread of the hook's own against the
// registered views; WEND_UI_SHOTS names the folder (made when missing) that receives the
// snapshots, "NN-<screen>.png" numbered from 01, "NN-<screen>-<overlay>.png" while an overlay is
// up, and the outcome: "DONE" once every step has passed, else "FAILED" with the message also
// written to stderr. The first step that fails ends the scenario; so does the application ending
// before the last step, unless that is wait-end.
//
// The scenario: one step a line; blank lines and lines starting with '#' are skipped.
//   view <name>               later steps act on this view (at first "main")
//   timeout <seconds>         later steps fail after this long (at first 30; fractions allowed)
//   wait <screen>             until document.body.dataset.screen is <screen>
//   wait-overlay <overlay>    until document.body.dataset.overlay is <overlay>
//   wait-text <selector> <text>
//                             until the element is shown and its text contains <text>; stderr
//                             then says the text read
//   click <selector>          once the element is shown and enabled, clicks it
//   type <selector> <text>    once the field is shown and enabled, sets its value to <text> and
//                             sends it an input and a change event
//   snapshot                  saves the view's visible part
//   wait-file <name>          until a file of that name is in the snapshots' folder: the run's
//                             driver says so when something outside the page has happened
//   wait-end                  until the application ends by itself (finalizeTester), which ends
//                             the scenario passed; the last step, since nothing can follow it.
//                             Stderr then says the last screen and overlay seen
// A selector is CSS; in wait-text and type it is one word (no spaces), the text the rest of the
// line. Every step waits for its view to be registered, the page to answer and the condition to
// hold, looking again every 100 ms, until the step's time-out.
//
// Example:
//   wait welcome
//   snapshot
//   click #continue
//   type #user tester
//   wait-overlay error
//   click [data-overlay=error] button.retry
#include "mediation/ui/HtmlViewTester.h"

#include <glib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "mediation/ui/HtmlView.h"
#include "tools/htmlviewtester/Scenario.h"
#include "tools/htmlviewtester/ScenarioRunner.h"

namespace {

constexpr char kScenarioVariable[] = "WEND_UI_SCENARIO";
constexpr char kShotsVariable[] = "WEND_UI_SHOTS";
constexpr char kFailureMarker[] = "FAILED";

std::mutex runnerMutex;
std::unique_ptr<htmlviewtester::ScenarioRunner> runner;  // guarded by runnerMutex

// The scenario cannot start: said on stderr and, where there is a folder for it, in the marker.
void refuse(const std::string& shots, const std::string& message) {
  std::fprintf(stderr, "HTMLViewTester: %s\n", message.c_str());
  if (!shots.empty()) htmlviewtester::writeOutcome(shots, kFailureMarker, message);
}

std::unique_ptr<htmlviewtester::ScenarioRunner> loadScenario() {
  const char* scenarioPath = g_getenv(kScenarioVariable);
  if (!scenarioPath || !*scenarioPath) return nullptr;
  const char* shotsVariable = g_getenv(kShotsVariable);
  const std::string shots = shotsVariable ? shotsVariable : "";
  if (shots.empty() || g_mkdir_with_parents(shots.c_str(), 0755) != 0) {
    refuse("", std::string("no folder for the snapshots: set ") + kShotsVariable);
    return nullptr;
  }
  std::ifstream file(scenarioPath);
  std::ostringstream text;
  text << file.rdbuf();
  std::vector<htmlviewtester::Step> steps;
  std::string error;
  if (!file) {
    refuse(shots, std::string("cannot read the scenario ") + scenarioPath);
  } else if (!htmlviewtester::parseScenario(text.str(), steps, error)) {
    refuse(shots, std::string(scenarioPath) + ": " + error);
  } else {
    htmlviewtester::RunnerSettings settings;
    settings.shotsFolder = shots;
    return std::make_unique<htmlviewtester::ScenarioRunner>(std::move(steps), settings);
  }
  return nullptr;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void initializeTester(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::lock_guard<std::mutex> lock(runnerMutex);
  if (runner) return;
  runner = loadScenario();
  if (runner) runner->start();
}

__attribute__((visibility("default"))) void registerHTMLView(const char* name,
                                                             mediation::HtmlView* view) {
  std::lock_guard<std::mutex> lock(runnerMutex);
  if (runner && name) runner->registerView(name, view);
}

__attribute__((visibility("default"))) void finalizeTester() {
  std::unique_ptr<htmlviewtester::ScenarioRunner> ending;
  {
    std::lock_guard<std::mutex> lock(runnerMutex);
    ending = std::move(runner);
  }
  if (ending) ending->stop();
}
}
