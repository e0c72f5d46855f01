#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/install/DesktopAppLaunch.h"
#include "platform/processes/ToolRunner.h"
#include "platform/system/ConsoleUser.h"
#include "tests/core/install/support/ProductRig.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;
using wendtest::readFile;
using wendtest::ScopedEnv;
using Arguments = std::vector<std::string>;

class WorkflowIds final : public IAnalytics {
 public:
  void sendServiceEvent(const std::string&) override {}
  std::string workflowIdString(int kind) override { return "file-id-" + std::to_string(kind); }
};

class DesktopAppLaunchTest : public ::testing::Test {
 protected:
  DesktopAppLaunchInputs inputs() {
    DesktopAppLaunchInputs in(config_);
    in.analytics = [] { return std::make_shared<WorkflowIds>(); };
    in.installHelper = &helper_;
    in.executablePath = "/opt/Skyloom";
    in.productInfoFolder = folder_.path();
    in.launchAgentSupport = support_;
    in.launch = std::ref(launches_);
    return in;
  }

  wendtest::TemporaryFolder folder_;
  // Nothing here is parsed by a shell: a name that would run a command in one stays a name.
  const std::string support_ = folder_ / "Support $(touch pwned)";
  ConfigStore config_;
  wendtest::ScriptedInstallHelper helper_;
  wendtest::LaunchRecorder launches_;
};

// From the workflow: the reinit's UUID becomes the bridge name; an empty workflow id is the file's.
TEST_F(DesktopAppLaunchTest, ArgumentsFromTheWorkflowAndAtStartUp) {
  config_.set("sapCode", "test");
  DesktopAppLaunchInputs in = inputs();
  in.installerWorkflowId = "installer-1";
  DesktopAppLaunch(in).launchDesktopApp(true);
  in.workflowId = "workflow-1";
  in.installerWorkflowId = "";
  DesktopAppLaunch(in).launchDesktopApp(false);
  in.productInfoFolder = folder_ / "missing";  // "productInfo.xml" cannot be written there
  DesktopAppLaunch(in).launchDesktopApp(false);

  const std::string uuid = helper_.calls().at(0).substr(7);
  EXPECT_EQ(uuid.size(), 36u);
  const std::string written = folder_ / "productInfo.xml";
  EXPECT_NE(readFile(written).find("<SAPCode>TEST</SAPCode>"), std::string::npos);
  EXPECT_EQ(launches_.all(),
            (std::vector<Arguments>{
                {"task", "/opt/Skyloom", "--showwindow=false", "--helperBridgeName=" + uuid,
                 "--lbsWorkflowID=file-id-1", "--lbsInstallerWorkflowID=installer-1"},
                {"open", "/opt/Skyloom", "--appletID=AppsPanel_BL", "--appletVersion=1.0",
                 "--inputXmlPath=" + written, "--lbsWorkflowID=workflow-1",
                 "--lbsInstallerWorkflowID=file-id-2"},
                {"open", "/opt/Skyloom", "--appletID=AppsPanel_BL", "--appletVersion=1.0",
                 "--lbsWorkflowID=workflow-1", "--lbsInstallerWorkflowID=file-id-2"}}));
  EXPECT_EQ(helper_.calls().size(), 1u);
}

TEST_F(DesktopAppLaunchTest, LaunchAgentIsLoadedAsTheConsoleUserWithAnArgumentVector) {
  const std::string log = folder_ / "launchctl.log";
  ScopedEnv tool("WEND_TOOL_LAUNCHCTL", WEND_FAKE_LAUNCHCTL);
  ScopedEnv sudo("WEND_TOOL_SUDO", WEND_FAKE_LAUNCHCTL);
  ScopedEnv record("WEND_FAKE_LAUNCHCTL_LOG", log);
  ScopedEnv user("WEND_CONSOLE_UID", std::to_string(geteuid()));
  DesktopAppLaunchInputs in = inputs();

  DesktopAppLaunch(in).loadLaunchAgent();
  EXPECT_FALSE(fs::exists(log));  // no agent installed: nothing run

  fs::create_directories(support_);
  fs::create_directories(folder_ / "LaunchAgents");
  wendtest::writeFile(folder_ / "LaunchAgents/com.orvel.OrvelSkyloom.plist", "<plist/>");
  const std::string plist = support_ + "/../LaunchAgents/com.orvel.OrvelSkyloom.plist";
  DesktopAppLaunch(in).loadLaunchAgent();
  in.asRoot = true;
  DesktopAppLaunch(in).loadLaunchAgent();

  platform::ConsoleUser console;
  ASSERT_TRUE(platform::findConsoleUser(console));
  EXPECT_EQ(readFile(log), "load\n-wF\n" + plist + "\n--end--\n-u\n" + console.name + "\n" +
                               WEND_FAKE_LAUNCHCTL + "\nload\n-wF\n" + plist + "\n--end--\n");
  EXPECT_FALSE(fs::exists(folder_ / "pwned"));
}

}  // namespace
