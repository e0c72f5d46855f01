// The built installer run as a user meets it, on the fixture's display, driven by the UI test
// hook: the test workflow, and whole installations by a user without administrator rights whose
// elevated copy the fake elevation tool starts.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "tests/app/support/InstallerRun.h"

namespace {

using namespace wendtest;
using namespace std::chrono_literals;

bool isPng(const std::string& path) {
  return readFile(path).rfind("\x89PNG\r\n\x1a\n", 0) == 0;
}

// As `make demo`'s first interface run: welcome, the main screen filled, cancel, the end.
TEST(InstallerProgram, TestWorkflowRunsFromWelcomeToCancel) {
  testserver::TestServer services;
  ASSERT_TRUE(services.start());
  const std::string scenario =
      readFile(WEND_SOURCE_DIR "/tools/htmlviewtester/scenarios/test-workflow.txt");
  InstallerRun run({"<config><sapCode>TEST</sapCode><productName>Tarn</productName></config>",
                    scenario,
                    services.url(""),
                    std::nullopt,
                    {},
                    {}});
  ASSERT_TRUE(run.start()) << run.outcome();
  EXPECT_EQ(run.finish(120s), 0) << run.outcome();
  EXPECT_TRUE(run.scenarioPassed()) << run.outcome();
  const std::vector<std::string> steps = lines(scenario);
  const std::vector<std::string> shots = run.snapshots();
  EXPECT_EQ(shots.size(), static_cast<size_t>(std::count(steps.begin(), steps.end(), "snapshot")))
      << run.outcome();
  for (const std::string& shot : shots) EXPECT_TRUE(isPng(shot)) << shot;
}

// The scenario's steps from the welcome screen of a user not signed in to the main screen: the
// sign-in (the identity service answers at once), the survey answered, the privacy notice.
constexpr char kToTheMainScreen[] = R"(timeout 60
wait welcome
click #welcome-sign-in
wait survey
type #survey-skill expert
type #survey-job creative
type #survey-purpose work
click #survey-continue
wait privacy
click #privacy-continue
wait main
)";

struct InstallationRow {
  const char* name;
  int pimStepMs;                  // the stand-in library's pause after each of its 200 steps
  std::string fromTheMainScreen;  // the rest of the scenario
  // What befalls the run once started; then its end is waited for `endsWithin`.
  std::function<void(InstallerRun&, const std::string& pimLog)> meanwhile;
  std::chrono::seconds endsWithin;
  bool installs;
};

void PrintTo(const InstallationRow& row, std::ostream* out) {
  *out << row.name;
}

void leftAlone(InstallerRun&, const std::string&) {}

// The stand-in library reports its steps only while the elevated copy runs the desktop
// application's installation (0x1606): waits for its first report; false when the run ended first.
bool libraryRuns(InstallerRun& run, const std::string& pimLog) {
  within(120s, [&] { return !readFile(pimLog).empty() || run.ended(); });
  return !readFile(pimLog).empty();
}

bool signalTheElevatedCopy(const InstallerRun& run, int signal) {
  const pid_t copy = run.elevatedCopy();
  return copy > 0 && kill(copy, signal) == 0;
}

// Killed then, the copy leaves the user's process alone.
void killTheElevatedCopyWhileTheLibraryRuns(InstallerRun& run, const std::string& pimLog) {
  ASSERT_TRUE(libraryRuns(run, pimLog)) << run.outcome();
  ASSERT_TRUE(signalTheElevatedCopy(run, SIGKILL));
  // The scenario snapshots the alert, then quits.
  EXPECT_TRUE(within(60s, [&] { return !run.snapshots().empty(); })) << run.outcome();
}

// Its own SIGTERM, while the user's quit question is open and the library paused, ends the copy
// as well: the user's process must not take that end for the user's quit.
void terminateTheElevatedCopyAtTheQuitQuestion(InstallerRun& run, const std::string& pimLog) {
  ASSERT_TRUE(libraryRuns(run, pimLog)) << run.outcome();
  writeFile(run.shots() + "/library-runs", "");
  // The scenario snapshots the open question; the copy's library then answers "pause" (2).
  ASSERT_TRUE(within(60s, [&] { return !run.snapshots().empty() || run.ended(); }));
  ASSERT_TRUE(within(60s, [&] { return readFile(pimLog).find("-> 2") != std::string::npos; }))
      << run.outcome();
  ASSERT_TRUE(signalTheElevatedCopy(run, SIGTERM));
  EXPECT_TRUE(within(60s, [&] { return run.snapshots().size() == 2 || run.ended(); }))
      << run.outcome();
}

// The user's process shows the lost copy's error, offering only Quit, which ends it at once.
constexpr char kLostCopysAlertEndsAtQuit[] = R"(wait-overlay error
wait-text #error-code P1
snapshot
click #error-quit
timeout 20
wait-end
)";

const InstallationRow kInstallationRows[] = {
    {"SignsInInstallsBothAndLaunches", 1,
     R"(timeout 120
wait launching
wait-end
)",
     leftAlone, 180s, true},
    {"ElevatedCopyKilledDuringTheLibraryEndsAtQuit", 100,
     std::string("timeout 120\n") + kLostCopysAlertEndsAtQuit,
     killTheElevatedCopyWhileTheLibraryRuns, 30s, false},
    {"ElevatedCopyTerminatedAtTheQuitQuestionEndsAtQuit", 100,
     R"(timeout 120
wait-file library-runs
click #cancel
wait-overlay quit
snapshot
)" + std::string(kLostCopysAlertEndsAtQuit),
     terminateTheElevatedCopyAtTheQuitQuestion, 30s, false},
};

// One whole installation through the program as `make demo` runs it, by "nobody".
class InstallerProgramInstallation : public ::testing::TestWithParam<InstallationRow> {};

TEST_P(InstallerProgramInstallation, EndsAsTheUserAsked) {
  const std::optional<RunAccount> user = unprivilegedAccount();
  if (!user) GTEST_SKIP() << "needs root and the account \"nobody\"";
  const InstallationRow& row = GetParam();
  InstallationServices services;
  ASSERT_TRUE(services.started());
  InstallerRun run(
      {"<config><sapCode>KVRQ</sapCode><productName>Tarn</productName><showSurvey>true"
       "</showSurvey><packageServiceUrl>" +
           services.applicationsUrl() + "</packageServiceUrl></config>",
       kToTheMainScreen + row.fromTheMainScreen,
       services.base(),
       user,
       {{"WEND_TIME_SCALE", "0.1"}},
       {{"WEND_TOOL_CODESIGN", WEND_CODESIGN_TOOL},
        {"WEND_CODESIGN_TRUST", WEND_CODESIGN_TESTKEYS "/trusted.pem"},
        {"WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER}}});
  const std::string pimLog = run.root() + "/pim.log";
  const std::string app = run.root() + kDesktopApp;
  services.offerDesktopApp("<pimScenario>slow</pimScenario><pimStepMs>" +
                           std::to_string(row.pimStepMs) + "</pimStepMs><pimTarget>" +
                           fs::path(app).parent_path().string() + "</pimTarget><pimLog>" + pimLog +
                           "</pimLog>");
  // The machine's folder for the application is there before any run; the stand-in application
  // records its arguments beside itself, in a folder its user may write.
  fs::create_directories(app + "/Contents/MacOS");
  ASSERT_EQ(chown((app + "/Contents/MacOS").c_str(), user->uid, user->gid), 0);

  ASSERT_TRUE(run.start()) << run.outcome();
  row.meanwhile(run, pimLog);
  EXPECT_EQ(run.finish(row.endsWithin), 0) << run.outcome();
  EXPECT_TRUE(run.scenarioPassed()) << run.outcome();
  const std::vector<std::string> launched = lines(readFile(app + "/Contents/MacOS/argv.txt"));
  if (row.installs) {
    EXPECT_EQ(launched.size(), 5u) << run.outcome();
    EXPECT_EQ(launched.size() > 1 ? launched[1] : "", "--showwindow=false");
    EXPECT_NE(installedSampleProduct(run.root()), "");
  } else {
    EXPECT_EQ(launched, std::vector<std::string>{}) << "launched";
    EXPECT_EQ(installedSampleProduct(run.root()), "");
    EXPECT_NE(run.log().find("Error Case: In parent process and otherProcessNotActive"),
              std::string::npos);
  }
  // The user's process ended through its teardown.
  EXPECT_NE(run.log().find("Workflow end."), std::string::npos);
  run.end();
  EXPECT_EQ(run.leftInTmp(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Rows, InstallerProgramInstallation, ::testing::ValuesIn(kInstallationRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
