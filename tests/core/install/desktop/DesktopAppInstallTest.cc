#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "core/install/desktop/DesktopAppInstall.h"
#include "tests/core/install/support/FakeInstallWorkflow.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;

class InstallEvents final : public IAnalytics {
 public:
  void sendServiceEvent(const std::string&) override {}
  void sendDownloadStartEvent() override { record("download-start"); }
  void sendDownloadEndEvent(float, float, int) override { record("download-end"); }
  void sendDownloadFatalErrorEvent(const std::string& code, const std::string& subCode,
                                   bool cancelled, const std::string&) override {
    record("download-fatal " + code + " " + subCode + (cancelled ? " cancelled" : ""));
  }
  void sendInstallStartEvent() override { record("install-start"); }
  void sendInstallEndEvent() override { record("install-end"); }
  void sendInstallFatalErrorEvent(const std::string& code) override {
    record("install-fatal " + code);
  }
  void setInstallResult(const std::string& xml) override {
    std::lock_guard lock(mutex_);
    installResult = xml;
  }
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
  }
  std::string result() {
    std::lock_guard lock(mutex_);
    return installResult;
  }

 private:
  void record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;  // guarded by mutex_
  std::string installResult;         // guarded by mutex_
};

class DesktopAppInstallTest : public ::testing::Test {
 protected:
  DesktopAppInstallTest() {
    fs::create_directories(shared_.path() + "/Core");
    DesktopAppInputs inputs(rig_.config, rig_.proxy, quit_, {temp_.path(), shared_.path()});
    inputs.analytics = [e = events_] { return e; };
    inputs.poll = std::chrono::milliseconds(10);
    install_ = std::make_unique<DesktopAppInstall>(std::move(inputs));
  }

  int answer(int type, float percent = 0, int status = 0, bool retryable = false) {
    PimProgress record{};
    record.type = type;
    record.progress = percent;
    record.status = status;
    record.retryable = retryable ? 1 : 0;
    return install_->onProgress(*rig_.workflow, &record);
  }

  std::vector<std::string> shownProgress() { return rig_.workflow->takeShownProgress(); }

  wendtest::InstallRig rig_;
  std::atomic<bool> quit_{false};
  wendtest::TemporaryFolder temp_;
  wendtest::TemporaryFolder shared_;
  std::shared_ptr<InstallEvents> events_ = std::make_shared<InstallEvents>();
  std::unique_ptr<DesktopAppInstall> install_;
};

TEST_F(DesktopAppInstallTest, ProgressShowsScaledAndALowerValueIsStoredNotSent) {
  for (float percent : {0.0f, 50.9f, 100.0f}) EXPECT_EQ(answer(PIM_PROGRESS, percent), 0);
  EXPECT_EQ(shownProgress(), (std::vector<std::string>{"5", "53", "100"}));

  answer(PIM_PROGRESS, 30);  // 33: stored and remembered, not shown
  EXPECT_EQ(rig_.workflow->stateBlock().tarnProgress, 33.0f);
  EXPECT_TRUE(shownProgress().empty());
  answer(PIM_PROGRESS, 40);  // 43 rises above the remembered 33
  EXPECT_EQ(shownProgress(), (std::vector<std::string>{"43"}));
  EXPECT_EQ(install_->onProgress(*rig_.workflow, nullptr), -1);
}

TEST_F(DesktopAppInstallTest, EachUiFlagAgainstEachRecordType) {
  struct Row {
    int flag;
    int answers[6];  // for record types 0..5
    int flagsAfter[6];
  };
  const Row rows[] = {
      {0, {0, 0, 0, 0, 0, 0}, {0, 1, 6, 6, 0, 0}},
      {2, {2, 2, 2, 2, 0, 2}, {2, 2, 2, 2, 2, 2}},  // type 4 runs on and keeps the pause
      {3, {3, 3, 3, 3, 3, 3}, {0, 0, 0, 0, 0, 0}},
      {4, {4, 4, 4, 4, 0, 4}, {0, 0, 0, 0, 4, 0}},  // type 4 is never cancelled
      {5, {5, 5, 5, 5, 5, 5}, {0, 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    for (int type = 0; type < 6; ++type) {
      SCOPED_TRACE("flag " + std::to_string(row.flag) + " type " + std::to_string(type));
      rig_.workflow->setUIFlags(static_cast<UIFlag>(row.flag));
      EXPECT_EQ(answer(type, 10), row.answers[type]);
      EXPECT_EQ(rig_.workflow->stateBlock().uiFlags, row.flagsAfter[type]);
    }
  }
  rig_.workflow->setUIFlags(UIFlag::kNone);
  events_->take();
  for (int type = 1; type < 6; ++type) answer(type);
  EXPECT_EQ(events_->take(),
            (std::vector<std::string>{"download-start", "download-end",
                                      "download-fatal PIM_STATUS_SUCCESS PIM_STATUS_SUCCESS",
                                      "install-start"}));
}

// Once the process quits or the workflow stops, nobody answers a pause: what can be cancelled is,
// records that cannot be paused go on.
TEST_F(DesktopAppInstallTest, AQuitOrAStopCancelsInsteadOfPausing) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stop" : "quit");
    rig_.workflow->setUIFlags(UIFlag::kPause);
    EXPECT_EQ(answer(PIM_PROGRESS, 10, 207, true), 2);
    if (stop) {
      rig_.workflow->StopWorkflow();
    } else {
      quit_ = true;
    }
    EXPECT_EQ(answer(PIM_PROGRESS, 10, 207, true), 4);
    EXPECT_EQ(answer(PIM_PROGRESS, 10), 4);
    EXPECT_EQ(answer(PIM_NOT_PAUSABLE, 10), 0);
    quit_ = false;
  }
}

TEST_F(DesktopAppInstallTest, ErrorRecordsPauseOrCancelAndRaiseTheError) {
  struct Case {
    int status;
    bool retryable;
    int answer;
    bool fatalEvent;
  };
  const Case cases[] = {{208, true, 2, true}, {206, true, 2, false}, {45, false, 4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    rig_.workflow->setUIFlags(UIFlag::kNone);
    events_->take();
    EXPECT_EQ(answer(PIM_PROGRESS, 10, c.status, c.retryable), c.answer);
    EXPECT_EQ(rig_.workflow->lastError(), c.status);
    EXPECT_EQ(rig_.workflow->stateBlock().uiAction, code(UIAction::kBlocked));
    EXPECT_EQ(rig_.workflow->stateBlock().retryMode, c.retryable ? 1 : 0);
    EXPECT_EQ(events_->take().size(), c.fatalEvent ? 1u : 0u);
  }
  // The retry of 212 hands the library the credentials the user gave.
  rig_.proxy.set({"ann", "secret", false});
  rig_.workflow->setUIFlags(UIFlag::kRetry);
  PimProgress record{};
  record.status = 212;
  record.retryable = 1;
  EXPECT_EQ(install_->onProgress(*rig_.workflow, &record), 5);
  ASSERT_NE(record.proxyUserName, nullptr);
  EXPECT_STREQ(record.proxyUserName, "ann");
  EXPECT_STREQ(record.proxyPassword, "secret");
}

// The stand-in installer library, built and signed with the tests, as the installed copy.
class DesktopAppLibraryTest : public DesktopAppInstallTest {
 protected:
  void SetUp() override {
    fs::copy_file(std::string(WEND_TEST_PIM_FOLDER) + "/OrvelPIM.dylib", installed());
  }
  std::string installed() const { return shared_.path() + "/Core/OrvelPIM.dylib"; }

  TarnApplication application(const std::string& scenario) const {
    TarnApplication app;
    app.installerLibraryVersion = WEND_TEST_PIM_VERSION;
    app.installerLibraryManifestUrl = "http://127.0.0.1:1/none.xml";
    app.desktopAppXml = "<application><pimScenario>" + scenario + "</pimScenario><pimTarget>" +
                        target_.path() + "/Tarn</pimTarget><pimLog>" + target_.path() +
                        "/answers.log</pimLog><pimProxy>ann:secret</pimProxy></application>";
    return app;
  }

  // Prepares the library and runs the install thread to its end; the final state.
  uint32_t install(const std::string& scenario, std::function<void()> duringRun = nullptr) {
    if (!install_->acquireInstallerLibrary(*rig_.workflow, application(scenario))) return 0;
    EXPECT_TRUE(install_->startInstallWorkflow(*rig_.workflow));
    if (duringRun) duringRun();
    install_->joinInstallThread();
    return code(rig_.workflow->stateCode());
  }

  // Waits (bounded) for the condition the library's thread brings about.
  template <typename Condition>
  static bool eventually(Condition condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  }

  std::string answers() const {
    std::ifstream in(target_.path() + "/answers.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  wendtest::ScopedEnv tool_{"WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL)};
  wendtest::ScopedEnv trust_{"WEND_CODESIGN_TRUST",
                             std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem"};
  wendtest::TemporaryFolder target_;
};

// On a full disk the stand-in cannot write the application it installs: it must fail with the
// file-creation status (44), not report an empty application as installed. It runs in a child
// whose file-size limit stands for the full disk.
TEST_F(DesktopAppLibraryTest, TheStandInFailsAnInstallItCouldNotWrite) {
  const std::string xml = application("success").desktopAppXml;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    void* library = dlopen(installed().c_str(), RTLD_NOW | RTLD_LOCAL);
    auto start = library ? reinterpret_cast<PimStartWorkflowFn>(dlsym(library, "pim_startWorkflow"))
                         : nullptr;
    const rlimit full{8, 8};
    if (!start || setrlimit(RLIMIT_FSIZE, &full) != 0) _exit(100);
    PimWorkflowArgs args{};
    args.callback = [](PimProgress*) { return static_cast<int>(PIM_ANSWER_GO_ON); };
    args.applicationXml = xml.c_str();
    uint32_t out[2] = {};
    _exit(start(&args, out));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 44);
}

TEST_F(DesktopAppLibraryTest, ResultsEndInTheirStatesWithTheirEvents) {
  struct Case {
    const char* scenario;
    uint32_t state;
    int error;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      // Success without the install-end event.
      {"result:6", code(WorkflowState::kDesktopAppInstalled), 0, {}},
      {"result:45",
       code(WorkflowState::kFailedFinal),
       45,
       {"install-fatal PIM_STATUS_FILE_DELETE_ERROR"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    rig_.workflow->setStateCode(WorkflowState::kStartDesktopAppInstall);
    events_->take();
    EXPECT_EQ(install(c.scenario), c.state);
    // Success clears the code the library returned; a failure raises it.
    EXPECT_EQ(c.error ? rig_.workflow->lastError() : rig_.workflow->stateBlock().errorCode,
              c.error);
    EXPECT_EQ(events_->take(), c.events);
  }
  EXPECT_NE(events_->result().find("<param name=\"code\">45</param>"), std::string::npos);
}

TEST_F(DesktopAppLibraryTest, RetryableStatusWaitsForTheAnswer) {
  rig_.proxy.set({"ann", "secret", false});
  for (const char* scenario : {"retry:208", "retry:212"}) {
    SCOPED_TRACE(scenario);
    rig_.workflow->setError(0, false);
    const uint32_t state = install(scenario, [&] {
      ASSERT_TRUE(
          eventually([&] { return rig_.workflow->stateBlock().uiFlags == code(UIFlag::kPause); }));
      rig_.workflow->setUIFlags(UIFlag::kRetry);
    });
    EXPECT_EQ(state, code(WorkflowState::kDesktopAppInstalled));
  }
  EXPECT_NE(answers().find("0 212 -> 5"), std::string::npos);
}

TEST_F(DesktopAppLibraryTest, CancelDuringPauseSparesTypeFourRecords) {
  const uint32_t state = install("paused4", [&] {
    // Once the thread runs (it clears the flags first), the user pauses.
    ASSERT_TRUE(eventually([&] { return answers().find("4 0 -> 0") != std::string::npos; }));
    rig_.workflow->setUIFlags(UIFlag::kPause);
    ASSERT_TRUE(eventually([&] { return answers().find("-> 2") != std::string::npos; }));
    rig_.workflow->setUIFlags(UIFlag::kCancel);
  });
  EXPECT_EQ(state, code(WorkflowState::kFinal));
  const std::string log = answers();
  EXPECT_EQ(log.find("4 0 -> 2"), std::string::npos);
  EXPECT_EQ(log.find("4 0 -> 4"), std::string::npos);
  EXPECT_NE(log.find("-> 4"), std::string::npos);
}

TEST_F(DesktopAppLibraryTest, PreparationFaults) {
  struct Case {
    const char* name;
    std::string source;  // "" keeps no installed copy
    std::string required;
    int error;
  };
  const std::string main = WEND_TEST_PIM_FOLDER;
  const Case cases[] = {
      {"unsigned", main + "/OrvelPIM-unsigned.dylib", WEND_TEST_PIM_VERSION, 42},
      {"another signer", main + "/OrvelPIM-other.dylib", WEND_TEST_PIM_VERSION, 72},
      {"unloadable", std::string(WEND_TEST_PIM_UNLOADABLE_FOLDER) + "/OrvelPIM.dylib",
       WEND_TEST_PIM_VERSION, 1},
      {"older installed, download fails", main + "/OrvelPIM.dylib", "99.0", -1},
      {"unreadable version, download fails", "", "1.0", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wendtest::InstallRig rig;
    fs::remove(installed());
    if (!c.source.empty()) fs::copy_file(c.source, installed());
    TarnApplication app = application("success");
    app.installerLibraryVersion = c.required;
    EXPECT_FALSE(install_->acquireInstallerLibrary(*rig.workflow, app));
    if (c.error > 0) {
      EXPECT_EQ(rig.workflow->lastError(), c.error);
    } else {
      EXPECT_GE(rig.workflow->lastError(), kStatusDownloadError);  // the download's own error
    }
  }
  // A newer installed copy is copied, and a library without the install call fails with 1.
  fs::remove(installed());
  fs::copy_file(std::string(WEND_TEST_PIM_NOSTART_FOLDER) + "/OrvelPIM.dylib", installed());
  TarnApplication app = application("success");
  app.installerLibraryVersion = "1.0";
  ASSERT_TRUE(install_->acquireInstallerLibrary(*rig_.workflow, app));
  EXPECT_TRUE(install_->startInstallWorkflow(*rig_.workflow));
  install_->joinInstallThread();
  EXPECT_EQ(rig_.workflow->stateCode(), WorkflowState::kFailedFinal);
  EXPECT_EQ(rig_.workflow->lastError(), kStatusError);
}

}  // namespace
