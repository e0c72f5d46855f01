#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "core/config/ServiceUrls.h"
#include "foundation/files/FileUtils.h"
#include "foundation/system/HardwareUtils.h"
#include "mediation/view/ViewJson.h"
#include "platform/system/ConsoleUser.h"
#include "tests/mediation/ui/support/MediatorRig.h"
#include "tests/support/LineBreakers.h"
#include "tests/support/WaitUntil.h"

namespace wendtest {
namespace {

using mediation::ViewMediatorUI;

constexpr uint32_t kElevatedStep = 0x1903;  // bit 1: runs in the elevated copy

class ViewMediatorUITest : public MediatorTest {};

// What each view command does to the window before the page gets it, and what the page gets.
TEST_F(ViewMediatorUITest, CommandsReachThePageAndTheWindowInOneOrder) {
  start();
  drained();
  struct Row {
    const char* name;
    const char* data;
    std::vector<std::string> lines;
  } rows[] = {
      {"updateCancelButtonState",
       R"({"enabled":"true"})",
       {"shell close on", R"(main send updateCancelButtonState {"enabled":"true"})"}},
      {"updateCancelButtonState",
       R"({"enabled":"yes"})",
       {"shell close off", R"(main send updateCancelButtonState {"enabled":"yes"})"}},
      {"showQuitConfirmation", "", {"shell front", "main send showQuitConfirmation "}},
      {"showProxyAlert", "", {"idra hide", "main show", "main send showProxyAlert "}},
      {"showWelcomeScreen", "{}", {"main send showWelcomeScreen {}"}},
      {"updateTarnInstallWeightage", R"({"tarnSize":"100"})", {}},
  };
  for (const Row& row : rows) {
    mediator().sendMessageToView(row.name, row.data);
    EXPECT_EQ(drained(), row.lines) << row.name;
  }
}

// Either phase's progress reaches the page only as "updateProgress", with the cancel state before
// it, on the dock tile and in the workflow's mirrored figures.
TEST_F(ViewMediatorUITest, PhaseProgressBecomesOneUpdateProgress) {
  start();
  drained();
  struct Row {
    const char* name;
    const char* data;
    const char* cancel;
    int progress;
  } rows[] = {
      {"updateTarnProgress", R"({"isCancelEnabled":"false","progress":"50"})", "false", 15},
      {"updateProductProgress", R"({"progress":"50"})", "true", 65},
  };
  for (const Row& row : rows) {
    mediator().sendMessageToView(row.name, row.data);
    const std::string progress = std::to_string(row.progress);
    EXPECT_EQ(pageMessages(),
              (std::vector<std::string>{
                  std::string(R"(updateCancelButtonState {"enabled":")") + row.cancel + "\"}",
                  R"(updateProgress {"minutesLeftMax":"0","minutesLeftMin":"0","progress":")" +
                      progress + "\"}"}))
        << row.name;
    EXPECT_EQ(bench_.dock->load(), row.progress);
    EXPECT_EQ(workflow().progressEstimate().progress, row.progress);
    EXPECT_EQ(workflow().stateBlock().screenId, code(ScreenId::kMain));
  }
}

// The desktop application's share of the bar comes from its size and the configured products'.
TEST_F(ViewMediatorUITest, WeightageFromTheTwoSizes) {
  writeConfig("<config><sapCode>KVRQ</sapCode><productSize>300</productSize></config>");
  start();
  mediator().updateTarnInstallWeightage("100");
  drained();
  mediator().updateTarnProgress(50, true);
  const auto messages = pageMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().find(R"("progress":"12")"), std::string::npos) << messages.back();
}

// An alert or the quit confirmation stops the clock until the page answers it; the quit
// confirmation of the product installation does not.
TEST_F(ViewMediatorUITest, AnsweredAlertsAreNotInstallationTime) {
  struct Row {
    const char* opener;
    uint32_t state;
    const char* answer;
    const char* minutes;  // after 70 s counted, or 1070 s when the pause counts
  } rows[] = {
      {"showErrorAlert", code(WorkflowState::kSignIn), "retryClicked",
       R"("minutesLeftMax":"2","minutesLeftMin":"0")"},
      {"showQuitConfirmation", code(WorkflowState::kSignIn), "quitConfirmationNoClicked",
       R"("minutesLeftMax":"2","minutesLeftMin":"0")"},
      {"showQuitConfirmation", code(WorkflowState::kProductInstall), "quitConfirmationNoClicked",
       R"("minutesLeftMax":"12","minutesLeftMin":"10")"},
      {"showProxyAlert", code(WorkflowState::kSignIn), "cancelButtonClicked",
       R"("minutesLeftMax":"12","minutesLeftMin":"10")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.opener) + " " + row.answer);
    start();
    workflow().setStateCode(static_cast<WorkflowState>(row.state));
    bench_.clock.set(0);
    mediator().updateProductProgress(50);
    bench_.clock.set(10);
    mediator().sendMessageToView(row.opener, "");
    bench_.clock.set(1010);
    mediator().onMessageFromView(row.answer, "");
    bench_.clock.set(1070);
    drained();
    mediator().updateProductProgress(50);
    const auto messages = pageMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find(row.minutes), std::string::npos) << messages.back();
    ApplicationContext::Destroy();
  }
}

// Page messages go to the elevated copy only while the workflow is in one of its steps, this
// process is not administrator and the link is up; the browser's messages never do.
TEST_F(ViewMediatorUITest, PageMessagesGoWhereTheWorkflowRuns) {
  using Link = IMessageGateway::LinkState;
  struct Row {
    uint32_t state;
    bool admin;
    Link link;
    const char* name;
    bool forwarded;
  } rows[] = {
      {code(WorkflowState::kSignIn), false, Link::kConnected, "cancelButtonClicked", false},
      {kElevatedStep, false, Link::kConnected, "cancelButtonClicked", true},
      {kElevatedStep, true, Link::kConnected, "cancelButtonClicked", false},
      {kElevatedStep, false, Link::kDown, "cancelButtonClicked", false},
      {kElevatedStep, false, Link::kLinking, "quitConfirmationYesClicked", false},
      {kElevatedStep, false, Link::kConnected, "openurl", false},
      {kElevatedStep, false, Link::kConnected, "openFileURL", false},
      {kElevatedStep, false, Link::kConnected, "learnMoreClicked", false},
      {kElevatedStep, false, Link::kConnected, "sendSMS", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " state " + std::to_string(row.state));
    start(row.admin);
    bench_.gateway->state = row.link;
    bench_.gateway->forwarded.clear();
    workflow().setStateCode(static_cast<WorkflowState>(row.state));
    workflow().setCurrentUIAction(UIAction::kCleared);
    bench_.pages.message(row.name, "");
    const auto forwarded = bench_.gateway->forwarded.lines();
    if (row.forwarded) {
      EXPECT_EQ(forwarded, std::vector<std::string>{std::string(row.name) + "  view"});
      EXPECT_EQ(workflow().stateBlock().uiAction, code(UIAction::kCleared));
    } else {
      EXPECT_TRUE(forwarded.empty());
    }
    if (!row.forwarded && std::string(row.name) == "cancelButtonClicked") {
      EXPECT_EQ(workflow().stateBlock().uiAction,
                code(UIAction::kQuitRequested));  // quit requested, here
    }
    ApplicationContext::Destroy();
  }
}

// "Change location" during the elevated copy's steps: the chooser opens here, in the user's window,
// and the copy gets the folder chosen (or the start folder when cancelled) with the check's answer
// and the page's data. When the step came back here or the copy went away while the chooser was
// open, the choice is taken here: the path alert shows in this process.
TEST_F(ViewMediatorUITest, TheLocationChooserOpensInTheUsersWindowDuringElevatedSteps) {
  using Link = IMessageGateway::LinkState;
  constexpr char kPageData[] = R"({"alertTitle":"T","alertText":"X"})";
  const std::string kForwarded = "locationChangeClicked ";  // then the data and " view"
  const std::string kAlert = "showPathErrorAlert ";
  struct Row {
    WorkflowState state;
    const char* chosen;  // "" cancels
    bool fits;
    const char* error;
    std::function<void()> whileOpen;
    bool forwarded;
    const char* kept;
  } rows[] = {
      {WorkflowState::kDesktopAppInstall, "/opt/new", true, "0", nullptr, true, "/opt/new"},
      {WorkflowState::kApplicationsDocument, "/", false, "1", nullptr, true, "/"},
      {WorkflowState::kInstallerLibrary, "", true, "0", nullptr, true, "/opt/start"},
      {WorkflowState::kDesktopAppInstall, "/opt/new", true, "0",
       [] { workflow().setStateCode(WorkflowState::kHelperHandshake); }, false, "/opt/new"},
      {WorkflowState::kDesktopAppInstall, "/locked", false, "6",
       [this] { bench_.gateway->state = Link::kDown; }, false, "/locked"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(stateName(row.state)) + " " + row.chosen);
    start();
    bench_.gateway->state = Link::kConnected;
    bench_.gateway->forwarded.clear();
    *bench_.browser = ScriptedBrowser{};
    bench_.browser->chosen = row.chosen;
    bench_.browser->fits = row.fits;
    bench_.browser->error = row.error;
    bench_.browser->whileOpen = row.whileOpen;
    workflow().setStateCode(row.state);
    workflow().setInstallLocation("/opt/start");
    workflow().setCurrentUIAction(UIAction::kNone);
    drained();

    bench_.pages.message("locationChangeClicked", kPageData);

    EXPECT_EQ(bench_.browser->opened, 1);
    EXPECT_EQ(workflow().installLocation(), row.kept);
    const auto forwarded = bench_.gateway->forwarded.lines();
    std::vector<std::string> alerts;
    for (const std::string& message : pageMessages()) {
      if (message.rfind(kAlert, 0) == 0) alerts.push_back(message.substr(kAlert.size()));
    }
    if (row.forwarded) {
      ASSERT_EQ(forwarded.size(), 1u);
      const std::string suffix = " view";
      ASSERT_EQ(forwarded[0].rfind(kForwarded, 0), 0u) << forwarded[0];
      std::string data = forwarded[0].substr(kForwarded.size());
      data.resize(data.size() - suffix.size());
      ViewJson carried;
      ASSERT_TRUE(carried.read(data, {"installLocation", "fits", "errorNumber", "pageData"}))
          << data;
      EXPECT_EQ(carried["installLocation"], row.kept);
      EXPECT_EQ(carried["fits"], row.fits ? "true" : "false");
      EXPECT_EQ(carried["errorNumber"], row.error);
      EXPECT_EQ(carried["pageData"], kPageData);
      // The copy raises the alert; nothing blocks here.
      EXPECT_TRUE(alerts.empty());
      EXPECT_EQ(workflow().uiAction(), UIAction::kNone);
    } else {
      EXPECT_TRUE(forwarded.empty());
      EXPECT_EQ(workflow().uiAction(), UIAction::kBlocked);
      ASSERT_EQ(alerts.size(), 1u);
      ViewJson alert;
      ASSERT_TRUE(alert.read(alerts[0], {"installLocation", "incorrectLocation"})) << alerts[0];
      EXPECT_EQ(alert["installLocation"], row.kept);
      EXPECT_EQ(alert["incorrectLocation"], row.fits ? "false" : "true");
    }
    ApplicationContext::Destroy();
  }
}

// The page's "documentReady": "initialize" with the whole dictionary, then the workflow starts
// and the main window shows with the localised title.
TEST_F(ViewMediatorUITest, DocumentReadyInitialisesThePageAndStartsTheWorkflow) {
  std::filesystem::create_directories(root_ / "Resources/Dictionary");
  writeFile(root_ / "Resources/Dictionary/en_US.json",
            "{ // the installer's texts\n"
            "  \"WindowTitle\": {\"message\": \"Install {0} - {0}\"}, /* title */\n"
            "  \"Type3WindowTitle\": {\"message\": \"Sign in\"}\n}");
  start();
  drained();
  context().quitRequested = true;  // the started workflow ends at once
  bench_.pages.message("documentReady", "");
  const std::string content = GetContentUrl(context().config, "KVRQ", "en_US");
  const std::string highDpi = HardwareUtils::getScreenScaleFactor() > 1.0f ? "true" : "false";
  const auto lines = drained();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0],
            "main send initialize {\"applicationName\":\"Tarn\",\"contentURL\":\"" + content +
                "\",\"isHighDpi\":\"" + highDpi +
                "\",\"isTestWorkflow\":\"false\",\"locale\":\"en_US\",\"platform\":\"mac\","
                "\"localizationStringMap\":{\"Type3WindowTitle\":{\"message\":\"Sign in\"},"
                "\"WindowTitle\":{\"message\":\"Install {0} - {0}\"}}}");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "shell showMain Install Tarn - Tarn"),
            lines.end());
  EXPECT_EQ(mediator().getLocalizedText("Type3WindowTitle"), "Sign in");
  EXPECT_TRUE(waitUntil([] { return workflow().stateCode() != WorkflowState::kNone; }));
  const auto events = bench_.analytics->events();
  EXPECT_NE(std::find(events.begin(), events.end(), "lbs-ui-launch"), events.end());
}

// A dictionary that is missing, does not parse or is no object reaches the page as "{}"; entries
// of the wrong shape read as "".
TEST_F(ViewMediatorUITest, UnusableDictionariesAreAnEmptyMap) {
  struct Row {
    const char* text;  // nullptr: no file
    const char* sent;  // the map the page gets
  } rows[] = {
      {nullptr, "{}"},
      {"{\"WindowTitle\": {\"message\": \"cut", "{}"},
      {"[{\"WindowTitle\": {\"message\": \"x\"}}]", "{}"},
      {"{\"WindowTitle\": \"plain\"}", "{\"WindowTitle\":\"plain\"}"},
      {"{\"WindowTitle\": {\"message\": 5}}", "{\"WindowTitle\":{\"message\":5}}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text ? row.text : "(none)");
    std::filesystem::remove_all(root_ / "Resources/Dictionary");
    if (row.text) {
      std::filesystem::create_directories(root_ / "Resources/Dictionary");
      writeFile(root_ / "Resources/Dictionary/en_US.json", row.text);
    }
    start();
    drained();
    context().quitRequested = true;
    mediator().initialize();
    const auto lines = drained();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find(std::string("\"localizationStringMap\":") + row.sent + "}"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(std::find(lines.begin(), lines.end(), "shell showMain Tarn"), lines.end());
    EXPECT_EQ(mediator().getLocalizedText("WindowTitle"), "");
    ApplicationContext::Destroy();
  }
}

// The native texts fall back to the English ones text by text, as the page's do: the folder
// chooser's title is never blank for a locale that lacks it.
TEST_F(ViewMediatorUITest, TextsTheLocaleLacksAreTheEnglishOnesOnTheChooserToo) {
  std::filesystem::create_directories(root_ / "Resources/Dictionary");
  writeFile(root_ / "Resources/Dictionary/en_US.json",
            R"({"WindowTitle": {"message": "{0} Installer"}, "Select": {"message": "Choose"}})");
  writeFile(root_ / "Resources/Dictionary/de_DE.json",
            R"({"WindowTitle": {"message": "{0}-Installationsprogramm"}})");
  start();
  context().locale = "de_DE";
  context().quitRequested = true;
  mediator().initialize();
  drained();
  EXPECT_EQ(mediator().getLocalizedText("WindowTitle"), "{0}-Installationsprogramm");
  EXPECT_EQ(mediator().getLocalizedText("Select"), "Choose");

  bench_.pages.message("locationChangeClicked", R"({"alertTitle":"T","alertText":"X"})");
  EXPECT_EQ(bench_.browser->opened, 1);
  EXPECT_EQ(bench_.browser->shownTitle, "Choose");
}

// The window operations of the mediator's interface go to the shell; proxy credentials to every
// page there is.
TEST_F(ViewMediatorUITest, WindowOperationsAndProxyCredentials) {
  start();
  drained();
  mediator().terminateApplication();
  mediator().hideMainWindow();
  mediator().showMainWindow("T");
  mediator().setProxyCredentials("user", "pw");
  EXPECT_EQ(drained(),
            (std::vector<std::string>{"shell terminate", "shell hideMain", "shell showMain T",
                                      "main proxy user pw", "idra proxy user pw"}));
}

// What the page logs and what an alert carries reach the log on their own line, whatever they
// hold.
TEST_F(ViewMediatorUITest, PageTextsInTheLogCannotForgeLines) {
  std::string logs;
  ASSERT_TRUE(platform::consoleUserLogsFolder(logs));
  writeFile(logs + "/ulex.trace", "");
  start();
  for (const LineBreaker& row : kLineBreakers) {
    bench_.pages.message("logMessage", "page" + row.byte + "FORGED");
    mediator().sendMessageToView("showErrorAlert", "alert" + row.byte + "FORGED");
  }
  drained();
  ApplicationContext::Destroy();
  const std::string text = logText();
  for (const LineBreaker& row : kLineBreakers) {
    EXPECT_NE(text.find("| page" + row.shown + "FORGED\n"), std::string::npos) << row.shown;
    EXPECT_NE(text.find("data: alert" + row.shown + "FORGED\n"), std::string::npos) << row.shown;
  }
  EXPECT_FALSE(lineBeginsWith(text, "FORGED"));
}

// The composition: the user's process gets the interface mediator on the ports given; the
// elevated copy what the inner factory makes.
TEST_F(ViewMediatorUITest, TheFactoryDecoratorMakesTheUsersMediator) {
  auto factory = mediation::withHtmlInterface(std::make_unique<StandInPartsFactory>(),
                                              [this] { return bench_.ports(); });
  ASSERT_TRUE(initialize({}));
  EXPECT_NE(dynamic_cast<ViewMediatorUI*>(factory->makeViewMediator(false, 0, nullptr).get()),
            nullptr);
  EXPECT_EQ(dynamic_cast<ViewMediatorUI*>(factory->makeViewMediator(true, 0, nullptr).get()),
            nullptr);
}

class ViewMediatorUIHookTest : public MediatorTest {
 protected:
  // The hook where the installer looks for it, with this mode.
  void placeHook(mode_t mode) {
    std::string folder;
    ASSERT_TRUE(FileUtils::getSpecialFolderPath(18, folder));
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/HTMLViewTester.dylib";
    std::filesystem::copy_file(WEND_TEST_HTML_HOOK, path);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    std::istringstream text(readFile(log_));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  static std::string pointer(const void* view) {
    char text[32];
    snprintf(text, sizeof text, "%p", view);
    return text;
  }

  std::string log_ = root_ / "hook.log";
  ScopedEnv hookLog_{"WEND_TEST_HOOK_LOG", log_};
};

TEST_F(ViewMediatorUIHookTest, TheHookSeesTheArgumentsEveryPageAndTheEnd) {
  placeHook(0755);
  start();
  mediator().createIdraType3View("https://sso.example/", "Sign in");
  drained();
  const std::string main = pointer(bench_.pages.page("main"));
  const std::string idra = pointer(bench_.pages.page("idra"));
  const std::string type3 = pointer(bench_.pages.page("type3"));
  ApplicationContext::Destroy();
  EXPECT_EQ(calls(), (std::vector<std::string>{"initialize --hook-check (nil)",
                                               "register main " + main, "register idra " + idra,
                                               "register idraType3 " + type3, "finalize (nil)"}));
}

TEST_F(ViewMediatorUIHookTest, AHookOthersCouldReplaceIsSkipped) {
  placeHook(0775);
  start();
  ApplicationContext::Destroy();
  EXPECT_TRUE(calls().empty());
}

// Progress from three threads while a fourth opens and closes pauses and the main thread runs
// the queue; the mediator then goes with tasks still queued, which do nothing.
TEST_F(ViewMediatorUITest, ProgressFromManyThreadsAndAnEndWithTasksQueued) {
  start();
  drained();
  ViewMediatorUI& ui = mediator();
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&ui, t] {
      for (int i = 0; i < 200; ++i) {
        if (t == 0) ui.updateTarnProgress(i % 100, true);
        if (t == 1) ui.updateProductProgress(i % 100);
        if (t == 2) ui.updateCancelButtonState(i % 2 == 0);
      }
    });
  }
  threads.emplace_back([&ui, this] {
    for (int i = 0; i < 200; ++i) {
      bench_.clock.set(1000 + i);
      ui.sendMessageToView("showErrorAlert", "{}");
      ui.onMessageFromView("retryClicked", "");
    }
  });
  std::thread drainer([&] {
    while (!done) bench_.shell.drain();
  });
  for (std::thread& thread : threads) thread.join();
  done = true;
  drainer.join();
  ui.updateProductProgress(100);
  ASSERT_GT(bench_.shell.queued(), 0u);
  ApplicationContext::Destroy();
  bench_.pages.record.clear();
  bench_.shell.drain();
  EXPECT_TRUE(bench_.pages.record.lines().empty());
}

}  // namespace
}  // namespace wendtest
