#include "core/install/DesktopAppLaunch.h"

#include "core/config/ProductInfoXml.h"
#include "foundation/files/FileUtils.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/ProcessUtils.h"
#include "foundation/text/StringUtils.h"
#include "platform/processes/ToolRunner.h"
#include "platform/system/ConsoleUser.h"

namespace {

constexpr pando::ComponentLog kLog{"WorkflowManager"};
constexpr int kTemporaryFolder = 15;
constexpr int kMachineSupportFolder = 2;
constexpr int kDesktopAppFolder = 30;

std::string joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) text += (text.empty() ? "" : " ") + argument;
  return text;
}

std::string specialFolder(int id) {
  std::string path;
  return FileUtils::getSpecialFolderPath(id, path) ? path : "";
}

}  // namespace

DesktopAppLaunch::DesktopAppLaunch(DesktopAppLaunchInputs inputs) : inputs_(std::move(inputs)) {
  if (!inputs_.launch) {
    pando::AbstractLogger* logger = inputs_.logger;
    inputs_.launch = [logger](const std::string& path, const std::vector<std::string>& arguments,
                              bool fromWorkflow) {
      int ignored = 0;
      PandoUtils::ProcessUtils::launchApplication(path, arguments, false, ignored, !fromWorkflow,
                                                  logger);
    };
  }
}

std::string DesktopAppLaunch::installedExecutablePath() {
  std::string path = specialFolder(kDesktopAppFolder);
  if (path.empty()) return "";
  FileUtils::appendPathComponent(path, "Tarn");
  FileUtils::appendPathComponent(path, "Skyloom.app/Contents/MacOS/Skyloom");
  return path;
}

std::string DesktopAppLaunch::workflowIdOf(const std::string& configured, int kind) const {
  if (!configured.empty()) return configured;
  auto analytics = inputs_.analytics ? inputs_.analytics() : nullptr;
  return analytics ? analytics->workflowIdString(kind) : "";
}

bool DesktopAppLaunch::launchDesktopApp(bool fromWorkflow) {
  kLog(pando::kLogInfo, "Launching Orvel Skyloom");
  const std::string path =
      inputs_.executablePath.empty() ? installedExecutablePath() : inputs_.executablePath;
  std::vector<std::string> arguments;
  if (fromWorkflow) {
    arguments.push_back("--showwindow=false");
    std::string uuid;
    StringUtils::utilCreateUUIDString(uuid);
    if (!inputs_.installHelper || !inputs_.installHelper->SendReinit(uuid)) {
      kLog(pando::kLogError, "Failed to reinit second Install Helper");
    }
    arguments.push_back("--helperBridgeName=" + uuid);
  } else {
    arguments.push_back("--appletID=AppsPanel_BL");
    arguments.push_back("--appletVersion=1.0");
    std::string file = inputs_.productInfoFolder.empty() ? specialFolder(kTemporaryFolder)
                                                         : inputs_.productInfoFolder;
    if (!file.empty() && FileUtils::appendPathComponent(file, "productInfo.xml") &&
        WriteProductInfoXml(inputs_.config, file, true)) {
      arguments.push_back("--inputXmlPath=" + file);
    }
  }
  arguments.push_back("--lbsWorkflowID=" + workflowIdOf(inputs_.workflowId, 1));
  arguments.push_back("--lbsInstallerWorkflowID=" + workflowIdOf(inputs_.installerWorkflowId, 2));
  inputs_.launch(path, arguments, fromWorkflow);
  return true;
}

void DesktopAppLaunch::loadLaunchAgent() {
  std::string plist = inputs_.launchAgentSupport.empty() ? specialFolder(kMachineSupportFolder)
                                                         : inputs_.launchAgentSupport;
  plist += "/../LaunchAgents/";
  plist += kLaunchAgentName;
  if (!FileUtils::fileExistsAtPath(plist)) {
    kLog(pando::kLogDebug, "LaunchdPlist file is not present at %s", plist.c_str());
    return;
  }
  // An argument vector, never a shell line: neither the login name nor the path is parsed.
  platform::Tool tool = platform::Tool::kLaunchctl;
  std::vector<std::string> arguments = {"load", "-wF", plist};
  if (inputs_.asRoot) {
    platform::ConsoleUser user;
    if (!platform::findConsoleUser(user) || user.name.empty()) {
      kLog(pando::kLogError, "No console user to load the launch agent for");
      return;
    }
    arguments.insert(arguments.begin(),
                     {"-u", user.name, platform::toolPath(platform::Tool::kLaunchctl)});
    tool = platform::Tool::kSudo;
  }
  kLog(pando::kLogDebug, "Running launchctl Command: %s %s", platform::toolPath(tool).c_str(),
       joined(arguments).c_str());
  const platform::ToolResult result =
      platform::runTool(tool, arguments, {std::chrono::seconds(30), size_t{1} << 20});
  kLog(pando::kLogDebug, "launchctl %s with status %d", platform::toolStatusText(result.status),
       result.exitCode);
}

void DesktopAppLaunch::releaseInstallLock() {
  if (inputs_.installLock) inputs_.installLock->release();
}

void DesktopAppLaunch::relaunchFromTempLocation() {
  RelaunchCopy(inputs_.relaunch).relaunchFromTempLocation();
}
