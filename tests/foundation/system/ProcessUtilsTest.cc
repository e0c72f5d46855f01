#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/system/ProcessUtils.h"
#include "platform/processes/ChildProcess.h"
#include "tests/support/Bundle.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

using namespace wendtest;
using namespace PandoUtils::ProcessUtils;

namespace {

// "<level> <message>" of every record, each from ProcessUtils.
std::vector<std::string> messages(CapturingLogger& logger) {
  std::vector<std::string> out;
  for (const Record& record : logger.records()) {
    EXPECT_EQ(record.source, "ProcessUtils");
    out.push_back(std::to_string(record.level) + " " + record.message);
  }
  logger.clear();
  return out;
}

TEST(LaunchApplication, TheTaskRouteWaitsAndGivesTheExitStatus) {
  CapturingLogger logger;
  int exitStatus = -1;
  ASSERT_TRUE(launchApplication("/bin/sh", {"-c", "exit 3"}, true, exitStatus, false, &logger));
  EXPECT_EQ(exitStatus, 3);
  EXPECT_EQ(messages(logger), (std::vector<std::string>{
                                  "20 Launch Process at path /bin/sh",
                                  "20 Launch Process With Arg 0 : -c",
                                  "20 Launch Process With Arg 1 : exit 3",
                                  "30 Launch Process With Task ",
                              }));
  ASSERT_TRUE(launchApplication("/bin/sh", {"-c", "kill -TERM $$"}, true, exitStatus, false));
  EXPECT_EQ(exitStatus, SIGTERM);

  // Nothing to launch fails at once, the status untouched.
  TemporaryFolder folder;
  writeFile(folder / "data", "not executable");
  exitStatus = 77;
  EXPECT_FALSE(launchApplication("", {}, true, exitStatus, false, &logger));
  EXPECT_FALSE(launchApplication(folder / "absent", {}, true, exitStatus, true, &logger));
  EXPECT_TRUE(messages(logger).empty());
  EXPECT_FALSE(launchApplication(folder / "data", {}, true, exitStatus, false, &logger));
  EXPECT_EQ(exitStatus, 77);
}

TEST(LaunchApplication, ActivateOpensTheBundleWithoutFallingBackToATask) {
  TemporaryFolder folder;
  std::string bundle =
      makeBundle(folder / "Tarn.app", "<key>CFBundleExecutable</key><string>Tarn</string>");
  writeScript(bundle + "/Contents/MacOS/Tarn", "echo \"$*\" > " + folder / "args" + "\n");
  CapturingLogger logger;
  int exitStatus = 77;
  ASSERT_TRUE(launchApplication(bundle, {"--a=1"}, true, exitStatus, true, &logger));
  EXPECT_EQ(exitStatus, 77);
  EXPECT_TRUE(waitUntil([&] { return existsNoFollow(folder / "args"); }));
  EXPECT_EQ(messages(logger), (std::vector<std::string>{"20 Launch Process at path " + bundle,
                                                        "20 Launch Process With Arg 0 : --a=1"}));

  // A bundle that names no executable fails; the task route is not tried.
  std::string broken = makeBundle(folder / "Broken.app", "");
  EXPECT_FALSE(launchApplication(broken, {}, false, exitStatus, true, &logger));
  EXPECT_EQ(messages(logger), std::vector<std::string>{"20 Launch Process at path " + broken});
}

TEST(OpenURLWithTracking, OnlyWebAddressesReachTheOpenerWithTheTrackingQuery) {
  TemporaryFolder folder;
  ScopedEnv tool("WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER);
  ScopedEnv log("WEND_FAKE_URL_OPENER_LOG", folder / "opened");
  struct Case {
    const char* url;
    bool tracking;
    const char* opened;  // null: nothing opened
  } cases[] = {
      {"https://a.example/x", true, "https://a.example/x?mv=product&mv2=corvel"},
      {"https://a.example/x?k=v", true, "https://a.example/x?k=v&mv=product&mv2=corvel"},
      {"https://a.example/x?", true, "https://a.example/x?mv=product&mv2=corvel"},
      {"HTTP://a.example/", false, "HTTP://a.example/"},
      {"mailto:help@a.example", false, nullptr},
      {"file:///etc/shadow", false, nullptr},
      {"x-skyloom+app.v2:open", false, nullptr},
      {"--version", false, nullptr},
      {"no scheme", false, nullptr},
      {":empty-scheme", false, nullptr},
      {"1http://a", false, nullptr},
  };
  size_t expectedSize = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(openURLWithTracking(c.url, c.tracking), c.opened != nullptr) << c.url;
    if (c.opened) expectedSize += strlen(c.opened) + 1;
  }
  EXPECT_FALSE(openURLWithTracking("", true));
  const std::string opened = readFile(folder / "opened");
  EXPECT_EQ(opened.size(), expectedSize);
  for (const Case& c : cases) {
    if (c.opened) {
      EXPECT_NE(opened.find(std::string(c.opened) + "\n"), std::string::npos) << c.url;
    }
  }
}

TEST(OpenURLWithTracking, FileAddressesOnlyThroughTheirOwnCall) {
  TemporaryFolder folder;
  ScopedEnv tool("WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER);
  ScopedEnv log("WEND_FAKE_URL_OPENER_LOG", folder / "opened");
  EXPECT_TRUE(openFileURLWithTracking("file:///C:/a b.pdf"));
  EXPECT_FALSE(openFileURLWithTracking("https://a.example/"));
  EXPECT_FALSE(openFileURLWithTracking("file://host/share"));
  EXPECT_EQ(readFile(folder / "opened"), "file:///C:/a b.pdf?mv=product&mv2=corvel\n");
}

TEST(OpenURLWithTracking, AnOpenerThatRefusesIsAFailure) {
  TemporaryFolder folder;
  ScopedEnv tool("WEND_TOOL_URL_OPENER", WEND_FAKE_URL_OPENER);
  ScopedEnv log("WEND_FAKE_URL_OPENER_LOG", folder / "missing/opened");  // the fake exits 1
  EXPECT_FALSE(openURLWithTracking("https://a.example/", false));
  ScopedEnv missing("WEND_TOOL_URL_OPENER", folder / "no-opener");
  EXPECT_FALSE(openURLWithTracking("https://a.example/", false));
}

TEST(GetRunningProcesses, ListsCommandLineProcessesAndApplications) {
  TemporaryFolder folder;
  const std::string longName = folder / "wend-sleeper-with-a-long-name";
  const std::string app = makeBundle(folder / "Tarn.app",
                                     "<key>CFBundleExecutable</key><string>Tarn</string>"
                                     "<key>CFBundleName</key><string>Tarn Desktop</string>");
  std::filesystem::copy_file("/bin/sleep", longName);
  std::filesystem::copy_file("/bin/sleep", app + "/Contents/MacOS/Tarn");
  platform::ChildProcess sleeper, application;
  ASSERT_EQ(sleeper.spawn(longName, {"600"}, {}), 0);
  ASSERT_EQ(application.spawn(app + "/Contents/MacOS/Tarn", {"600"}, {}), 0);

  std::vector<ProcessInfo> processes(1);
  ASSERT_TRUE(getRunningProcesses(processes));
  auto described = [&](pid_t pid) {
    for (const auto& p : processes) {
      if (p.pid == pid) return p.name + "|" + p.displayName + "|" + p.path;
    }
    return std::string("(not listed)");
  };
  EXPECT_EQ(described(sleeper.pid()),
            "wend-sleeper-with-a-long-name|"
            "wend-sleeper-with-a-long-name|" +
                longName);
  EXPECT_EQ(described(application.pid()), "Tarn|Tarn Desktop|" + app + "/Contents/MacOS/Tarn");
  // The kernel cuts the name to "ProcessUtilsTes"; the list has it whole.
  EXPECT_EQ(described(getpid()).rfind("ProcessUtilsTest|", 0), 0u);

  for (platform::ChildProcess* child : {&sleeper, &application}) {
    child->kill();
    int status = 0;
    child->wait(status);
  }
}

}  // namespace
