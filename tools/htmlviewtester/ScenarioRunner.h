#pragma once

#include <glib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mediation/ui/HtmlView.h"
#include "tools/htmlviewtester/Scenario.h"

// Plays a scenario's steps, one after the other on a thread of its own, against the HTML views
// registered with it. Every call into a view (its scripts, its web view, a snapshot) is handed to
// the thread that iterates the default GLib main context, the UI thread, and its answer is waited
// for within the step's time-out; a step that times out fails the scenario, which stops there.
// The outcome goes to the shots folder: "DONE" once every step has passed, else "FAILED" holding
// the message that is also written to stderr (the step, its line and the screen shown). Stderr
// also says each snapshot's path, the text each wait-text step read, and, once the application
// has ended, the last screen and overlay the scenario saw.
//
// Thread rules: the constructor, registerView, stop and the destructor run on the UI thread;
// start once, from any thread. Views stay owned by their maker and must live until stop has
// returned; registering a name again replaces its view. Once stop has returned nothing of the
// runner runs on the UI thread but the web engine's answers to calls already made, which touch
// no view.
namespace htmlviewtester {

struct RunnerSettings {
  std::string shotsFolder;  // snapshots and the outcome file; must exist
  std::chrono::milliseconds stepTimeout{30000};
  std::chrono::milliseconds pollInterval{100};  // between two looks at the page
  std::chrono::milliseconds lastLook{2000};     // for the screen shown when a step has failed
};

class ScenarioRunner {
 public:
  ScenarioRunner(std::vector<Step> steps, RunnerSettings settings);
  ~ScenarioRunner();  // stop()
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  void start();
  void registerView(const std::string& name, mediation::HtmlView* view);
  // Ends the scenario where it stands (an unfinished one fails: the application ended during its
  // step) and joins its thread; every wait of the thread returns at once. Idempotent.
  void stop();

  // What both threads share; held by the work handed to the UI thread as well.
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;  // a view registered, an answer came, or stop
    bool stopping = false;            // guarded by mutex
    std::map<std::string, mediation::HtmlView*> views;  // guarded by mutex
    std::deque<std::function<void()>> uiWork;           // guarded by mutex
    // Runs uiWork on the UI thread once woken; made by the constructor, destroyed by stop.
    GSource* wake = nullptr;
  };

 private:
  enum class Outcome { kPassed, kFailed, kTimedOut, kStopped };
  enum class Attempt { kDone, kAgain, kFailed };
  using Clock = std::chrono::steady_clock;
  using ScreenLook = std::pair<std::string, std::string>;  // the screen and the overlay shown

  void run();
  Outcome runStep(const Step& step, std::string& detail);
  template <typename Try>
  Outcome poll(Clock::time_point deadline, Try attempt);
  Attempt snapshot(Clock::time_point deadline, std::string& detail);
  // The script's result text; nullopt, and `failure` saying why, when the view is missing, the
  // script failed or no answer came in time.
  std::optional<std::string> evaluate(const std::string& script, Clock::time_point deadline,
                                      std::string& failure);
  // The screen and overlay as the page's body names them, kept as the last seen; nullopt, and
  // `failure` saying why, when the page did not answer.
  std::optional<ScreenLook> lookAtScreen(Clock::time_point deadline, std::string& failure);
  // The same for messages and file names.
  bool shownScreen(Clock::time_point deadline, std::string& screen, std::string& overlay);
  bool stopping();
  void finish(const std::string& marker, const std::string& message);

  const std::vector<Step> steps_;
  const RunnerSettings settings_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  // Touched by the scenario's thread only.
  std::string viewName_ = "main";
  std::chrono::milliseconds timeout_;
  int shots_ = 0;
  std::optional<ScreenLook> lastScreen_;
  std::thread thread_;
};

// Writes the outcome file `marker` into `folder` whole, so that whoever watches for the file never
// reads it half written.
void writeOutcome(const std::string& folder, const std::string& marker, const std::string& message);

}  // namespace htmlviewtester
