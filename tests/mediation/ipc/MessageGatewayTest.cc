// The real gateway in the real context (private WEND_ROOT, an unstarted workflow manager). The
// user's process is this test; its elevated copy is this executable again, started through the
// fake elevation tool (support/GatewayCopy.cc).
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context/ApplicationContext.h"
#include "core/workflow/WorkflowBlocks.h"
#include "foundation/text/StringUtils.h"
#include "mediation/ipc/MediationParts.h"
#include "mediation/ipc/MessageGateway.h"
#include "mediation/ipc/MessageGatewayMac.h"
#include "tests/core/workflow/support/RecordingView.h"
#include "tests/mediation/ipc/support/GatewayParts.h"
#include "tests/support/ChildrenOf.h"
#include "tests/support/Environment.h"
#include "tests/support/LineBreakers.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestServer.h"

namespace mediation {
namespace {

using LinkState = IMessageGateway::LinkState;

// A host of plain values, for the cases that need no application context.
class ValueHost final : public IGatewayHost {
 public:
  ValueHost(bool admin, bool silent, std::shared_ptr<std::vector<std::string>> events)
      : admin_(admin),
        silent_(silent),
        analytics_(std::make_shared<wendtest::RecordingAnalytics>(std::move(events))) {}
  bool isAdmin() const override { return admin_; }
  bool isSilent() const override { return silent_; }
  bool quitRequested() const override { return false; }
  IViewMediator* viewMediator() const override { return nullptr; }
  IWorkflowPackets* workflowPackets() const override { return nullptr; }
  std::shared_ptr<IAnalytics> analytics() const override { return analytics_; }
  SharedInstallHelperChannels& installHelperChannels() const override { return channels_; }
  SharedProxyCredentials& proxyCredentials() const override { return credentials_; }
  std::string userGuid() const override { return ""; }
  std::string tempLocation() const override { return ""; }
  std::string sessionId() const override { return ""; }
  void setSessionId(const std::string&) override {}

 private:
  const bool admin_;
  const bool silent_;
  const std::shared_ptr<IAnalytics> analytics_;
  mutable SharedInstallHelperChannels channels_;
  mutable SharedProxyCredentials credentials_;
};

class MessageGatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((root_ / "tmp").c_str(), 0777);
    mkdir((root_ / "Resources").c_str(), 0755);
    std::ofstream(root_ / "Resources/config.xml") << "<config><sapCode>KVRQ</sapCode></config>";
  }
  void TearDown() override {
    ApplicationContext::Destroy();
    if (!pipeName_.empty()) {
      unlink(("/tmp/" + pipeName_ + "_IN").c_str());
      unlink(("/tmp/" + pipeName_ + "_OUT").c_str());
    }
  }

  // The context of a user's process (or, with `pipeName`, a silent one) with the given rights.
  ApplicationContext* start(bool admin, const std::string& pipeName = "") {
    ApplicationContext::SetPartsFactory(
        withMediation(std::make_unique<wendtest::GatewayTestParts<wendtest::RecordingView>>(
            root_ / "Resources", &view_, events_)));
    args_ = {"Install"};
    if (!pipeName.empty()) args_.push_back("--pipename=" + pipeName);
    for (std::string& arg : args_) argv_.push_back(arg.data());
    ApplicationContext* context = ApplicationContext::GetInstance();
    EXPECT_TRUE(context->Initialize(static_cast<int>(argv_.size()), argv_.data()));
    context->isAdmin = admin;
    return context;
  }
  bool initGateway(ApplicationContext* context) {
    const bool result = context->InitMessageGateway(static_cast<int>(argv_.size()), argv_.data());
    pipeName_ = gateway(context).pipeName();
    return result;
  }
  static MessageGateway& gateway(ApplicationContext* context) {
    return static_cast<MessageGateway&>(*context->messageGateway);
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(wendtest::RecordingAnalytics::mutex());
    return *events_;
  }
  // Both processes log to the console user's "Wend.log" under the private root.
  std::string logsFolder() const {
    return root_.path() + getpwuid(geteuid())->pw_dir + "/.local/state/Skyloom/Tarn";
  }
  std::string logText() const { return wendtest::readFile(logsFolder() + "/Wend.log"); }
  // Every log file of both processes (the download engine's among them), concatenated.
  std::string allLogs() const {
    std::string text;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(logsFolder())) {
      if (entry.is_regular_file()) text += wendtest::readFile(entry.path().string());
    }
    return text;
  }
  bool logged(const std::string& text) const { return logText().find(text) != std::string::npos; }
  bool fifosExist() const { return wendtest::existsNoFollow("/tmp/" + pipeName_ + "_IN"); }
  // What the copy says it adopted and received, once it has handled every packet sent before.
  std::string reportOfCopy(MessageGateway& link) {
    link.sendMessageToOtherViewMediator("report", "", true);
    std::string report;
    EXPECT_TRUE(wendtest::waitUntil([&] {
      for (const wendtest::ViewCall& call : view_->calls()) {
        if (call.name == "sendMessageToView" && call.args[0] == "report") report = call.args[1];
      }
      return !report.empty();
    }));
    return report;
  }
  // The live elevated copy: the child of this process that leads a process group of its own.
  static pid_t copyProcess() {
    for (const wendtest::ProcStat& process : wendtest::processes()) {
      if (process.parent == getpid() && process.group != getpgrp() && process.state != 'Z') {
        return process.group;
      }
    }
    return -1;
  }
  static pid_t copyIn(const std::string& report) {
    const size_t pid = report.find("pid=");
    return pid == std::string::npos ? -1 : std::stoi(report.substr(pid + 4));
  }

  wendtest::TemporaryFolder root_;
  wendtest::ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  wendtest::ScopedEnv consoleUser_{"WEND_CONSOLE_UID", std::to_string(geteuid())};
  wendtest::ScopedEnv stateHome_{"XDG_STATE_HOME", std::nullopt};
  wendtest::ScopedEnv tool_{"WEND_TOOL_ELEVATION", WEND_FAKE_PKEXEC};
  wendtest::ScopedEnv toolLog_{"WEND_FAKE_ELEVATION_LOG", root_ / "tool.log"};
  wendtest::ScopedEnv copy_{"IPC_TEST_GATEWAY_COPY", root_ / "Resources"};
  wendtest::RecordingView* view_ = nullptr;  // owned by the context
  std::shared_ptr<std::vector<std::string>> events_ = std::make_shared<std::vector<std::string>>();
  std::vector<std::string> args_;
  std::vector<char*> argv_;
  std::string pipeName_;
};

TEST_F(MessageGatewayTest, ElevatedCopyLinksAdoptsAndAnswersUntilItIsKilled) {
  ApplicationContext* context = start(false);
  ASSERT_TRUE(initGateway(context));
  MessageGateway& link = gateway(context);
  EXPECT_EQ(events(), (std::vector<std::string>{"lbs-security-prompt", "lbs-security-prompt-yes"}));
  ASSERT_TRUE(wendtest::waitUntil([&] { return link.linkState() == LinkState::kConnected; }));
  EXPECT_TRUE(link.connected());
  // The tool was asked to run exactly this executable with the channel's name, no shell.
  EXPECT_EQ(wendtest::readFile(root_ / "tool.log"),
            MessageGatewayMac::ownExecutable() + "\n--pipename=" + pipeName_ + "\n--end--\n");

  context->proxyCredentials.set({"user", "secret", true});
  link.sendProxyData();
  // No user name: the one held is kept; "TRUE" is not "true".
  EXPECT_EQ(link.sendPacket(7,
                            "<proxydata><password>p2</password><remember>TRUE</remember>"
                            "</proxydata>"),
            0);
  // A second init whose helper names are no UUIDs leaves the adopted ones alone, and says so.
  EXPECT_EQ(link.sendPacket(1,
                            "<init><installHelperPipeName>../x</installHelperPipeName>"
                            "<installHelper2PipeName>C0FFEE\nX: y</installHelper2PipeName>"
                            "<sessionId>S-1</sessionId></init>"),
            0);
  WorkflowStateBlock state;
  state.stateCode = 0x1D00;
  EXPECT_EQ(link.sendPacket(6, encodeStateBlock(state)), 0);
  EXPECT_EQ(link.sendPacket(8, encodeProgressEstimate({3, 5, 42})), 0);
  EXPECT_EQ(link.sendPacket(9, "skipped"), 0);
  EXPECT_EQ(link.sendPacket(0, "skipped"), 0);
  link.sendMessageToOtherViewMediator("hello", "a&b <c> \xc3\xbc", true);
  EXPECT_EQ(link.sendPacket(2, "<msg><message>nodata</message></msg>"), 0);
  const std::string report = reportOfCopy(link);
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.substr(0, report.find("helper=")),
            "proxyView:user=\n"
            "proxyView:user=\n"
            "fromView:hello=a&b <c> \xc3\xbc\n"
            "fromView:nodata=\n");
  const InstallHelperChannels channels = context->installHelperChannels.get();
  EXPECT_NE(report.find("helper=" + channels.first + "\nhelper2=" + channels.second +
                        "\nsession=S-1\nproxy=user|p2|false\nstate=" + std::to_string(0x1D00) +
                        "\nprogress=42\n"),
            std::string::npos)
      << report;

  // The copy goes away: the link is down for good and sends fail at once.
  ASSERT_EQ(kill(copyIn(report), SIGKILL), 0);
  ASSERT_TRUE(wendtest::waitUntil([&] { return link.linkState() == LinkState::kDown; }));
  EXPECT_FALSE(link.connected());
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(link.sendPacket(2, "late"), CommunicationBridge::kNotInitialized);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_TRUE(logged("Error CB_PktID_Terminate"));
  EXPECT_TRUE(logged("Unhandled IPC message: 9"));
  EXPECT_TRUE(logged("Unhandled IPC message: 0"));
  EXPECT_TRUE(logged("Refused install helper pipe name '../x'"));
  EXPECT_TRUE(logged("Refused install helper pipe name 'C0FFEE\\x0AX: y'"));
  EXPECT_FALSE(logged("secret"));
}

// A message's name, whether the page gave it to this process or a packet of the other process
// carries it, is logged on its own line by both processes, whatever it holds.
TEST_F(MessageGatewayTest, MessageNamesInTheLogCannotForgeLines) {
  ApplicationContext* context = start(false);
  ASSERT_TRUE(initGateway(context));
  MessageGateway& link = gateway(context);
  ASSERT_TRUE(wendtest::waitUntil([&] { return link.linkState() == LinkState::kConnected; }));
  for (const wendtest::LineBreaker& row : wendtest::kLineBreakers) {
    link.sendMessageToOtherViewMediator("page" + row.byte + "FORGED", "", true);
    // A character reference puts the byte in the name even where XML would change it as text.
    const int byte = static_cast<unsigned char>(row.byte[0]);
    EXPECT_EQ(link.sendPacket(
                  MessageGateway::kMessageFromView,
                  "<msg><message>packet&#" + std::to_string(byte) + ";FORGED</message></msg>"),
              0);
  }
  const std::string report = reportOfCopy(link);
  ASSERT_EQ(kill(copyIn(report), SIGKILL), 0);
  for (const wendtest::LineBreaker& row : wendtest::kLineBreakers) {
    EXPECT_TRUE(logged("Sending message to other viewMediator: 'page" + row.shown + "FORGED'"))
        << row.shown;
  }
  // What XML can carry arrives as it was sent, and is logged so.
  for (const char* shown : {"\\x0A", "\\x0D", "\\x09", "\\x7F"}) {
    EXPECT_TRUE(logged(std::string("Message received from other viewMediator: 'packet") + shown +
                       "FORGED'"))
        << shown;
  }
  EXPECT_FALSE(wendtest::lineBeginsWith(logText(), "FORGED"));
}

// A proxy wants credentials during a step of the elevated copy. The user answers in this process,
// whose page answer goes over as every page message does during those steps: the copy's retried
// request carries the credentials, this process adopts them from the copy, and neither process
// logs them.
TEST_F(MessageGatewayTest, ProxyCredentialsGivenHereGoWithTheElevatedCopysNextRequest) {
  testserver::TestServerSettings settings;
  settings.proxyCredentials = "proxy-ann:pw-5e3a";
  testserver::TestServer proxy(settings);
  ASSERT_TRUE(proxy.start());
  std::ofstream(root_ / "Resources/config.xml")
      << "<config><sapCode>KVRQ</sapCode><packageServiceUrl>" << proxy.url("/applications")
      << "</packageServiceUrl></config>";
  wendtest::ScopedEnv through{"http_proxy", proxy.url("")};
  wendtest::ScopedEnv direct{"no_proxy", std::nullopt};
  wendtest::ScopedEnv directUpper{"NO_PROXY", std::nullopt};
  wendtest::ScopedEnv program{"IPC_TEST_GATEWAY_COPY_WORKFLOW", "1"};
  ApplicationContext* context = start(false);
  ASSERT_TRUE(initGateway(context));
  MessageGateway& link = gateway(context);
  ASSERT_TRUE(wendtest::waitUntil([&] { return link.linkState() == LinkState::kConnected; }));

  WorkflowStateBlock state;
  state.stateCode = code(WorkflowState::kApplicationsDocument);
  ASSERT_EQ(link.sendPacket(MessageGateway::kWorkflowState, encodeStateBlock(state)), 0);
  ASSERT_TRUE(wendtest::waitUntil([&] {
    for (const wendtest::ViewCall& call : view_->calls()) {
      if (call.name == "sendMessageToView" && call.args[0] == "showProxyAlert") return true;
    }
    return false;
  }));
  ASSERT_FALSE(proxy.requests().empty());
  for (const auto& request : proxy.requests()) EXPECT_EQ(request.header("Proxy-Authorization"), "");

  link.sendMessageToOtherViewMediator(
      "proxyAlertLoginButtonClicked",
      R"({"userName":"proxy-ann","password":"pw-5e3a","rememberMe":"false"})", true);
  const std::string given = "Basic cHJveHktYW5uOnB3LTVlM2E=";  // proxy-ann:pw-5e3a
  EXPECT_TRUE(wendtest::waitUntil([&] {
    const auto requests = proxy.requests();
    return !requests.empty() && requests.back().header("Proxy-Authorization") == given;
  }));
  EXPECT_TRUE(
      wendtest::waitUntil([&] { return context->proxyCredentials.get().password == "pw-5e3a"; }));
  EXPECT_EQ(context->proxyCredentials.get().userName, "proxy-ann");
  EXPECT_EQ(view_->last("setProxyCredentials").args.at(0), "proxy-ann");

  const pid_t copy = copyProcess();
  ASSERT_GT(copy, 0);
  EXPECT_EQ(link.sendPacket(MessageGateway::kTerminate, ""), 0);
  if (!wendtest::waitUntil([&] { return !wendtest::groupAlive(copy); })) {
    ADD_FAILURE() << "the copy did not end";
    kill(copy, SIGKILL);
  }
  const std::string logs = allLogs();
  EXPECT_NE(logs.find("Prompting for proxy credentials"), std::string::npos);
  for (const char* secret : {"proxy-ann", "pw-5e3a", "cHJveHktYW5uOnB3LTVlM2E="}) {
    EXPECT_EQ(logs.find(secret), std::string::npos) << secret;
  }
}

TEST_F(MessageGatewayTest, RefusedElevationFailsWithoutAWorker) {
  const struct {
    const char* name;
    std::optional<std::string> answer;
    bool toolThere;
    const char* log;
  } rows[] = {{"cancelled", "126", true, "Authorization cancelled by user"},
              {"denied", "127", true, "Unable to copy authorization rights (127)"},
              {"no tool", std::nullopt, false, "Unable to create authorization (2)"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    wendtest::ScopedEnv answer("WEND_FAKE_ELEVATION", row.answer);
    wendtest::ScopedEnv tool("WEND_TOOL_ELEVATION",
                             row.toolThere ? WEND_FAKE_PKEXEC : root_ / "missing");
    events_->clear();
    ApplicationContext* context = start(false);
    EXPECT_FALSE(initGateway(context));
    EXPECT_EQ(events(),
              (std::vector<std::string>{"lbs-security-prompt", "lbs-security-prompt-no"}));
    EXPECT_EQ(gateway(context).linkState(), LinkState::kDown);
    context->messageGateway->WaitForGatewayThread();
    EXPECT_TRUE(logged(row.log));
    TearDown();
  }
}

TEST_F(MessageGatewayTest, AdministratorNeedsNoLinkAndSilentNonAdministratorIsAnError) {
  MessageGateway admin(std::make_unique<ValueHost>(true, false, events_));
  ASSERT_TRUE(admin.InitMessageGateway(CommandLineParser()));
  pipeName_ = admin.pipeName();
  EXPECT_EQ(events(), std::vector<std::string>{"lbs-security-prompt-skipped"});
  EXPECT_FALSE(fifosExist());
  for (int type : {1, 2, 6, 7, 8}) EXPECT_EQ(admin.sendPacket(type, "x"), 0);

  std::string name;
  ASSERT_TRUE(StringUtils::utilCreateUUIDString(name));
  const std::string argument = "--pipename=" + name;
  const char* const arguments[] = {"Install", argument.c_str()};
  CommandLineParser commandLine;
  ASSERT_TRUE(commandLine.parse(2, arguments));
  events_->clear();
  MessageGateway silent(std::make_unique<ValueHost>(false, true, events_));
  EXPECT_FALSE(silent.InitMessageGateway(commandLine));
  pipeName_ = silent.pipeName();
  EXPECT_EQ(pipeName_, name);
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(silent.linkState(), LinkState::kDown);
  EXPECT_FALSE(fifosExist());
}

}  // namespace
}  // namespace mediation
