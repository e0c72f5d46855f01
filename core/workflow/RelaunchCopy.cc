#include "core/workflow/RelaunchCopy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "foundation/files/FileUtils.h"
#include "foundation/files/TreeCopy.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/ComponentLog.h"
#include "foundation/system/ProcessUtils.h"
#include "foundation/text/StringUtils.h"

namespace {

constexpr pando::ComponentLog kLog{"WorkflowManager"};
constexpr int kTemporaryFolder = 15;
constexpr int kProgramFolder = 16;

bool launchAsTask(const std::string& path, const std::vector<std::string>& arguments) {
  int ignored = 0;
  return PandoUtils::ProcessUtils::launchApplication(path, arguments, false, ignored, false);
}

}  // namespace

RelaunchCopy::RelaunchCopy(RelaunchInputs inputs) : inputs_(std::move(inputs)) {
  if (!inputs_.launch) inputs_.launch = launchAsTask;
  if (inputs_.bundlePath.empty())
    FileUtils::getSpecialFolderPath(kProgramFolder, inputs_.bundlePath);
  if (inputs_.temporaryRoot.empty()) {
    FileUtils::getSpecialFolderPath(kTemporaryFolder, inputs_.temporaryRoot);
  }
}

void RelaunchCopy::relaunchFromTempLocation() {
  std::vector<std::string> arguments;
  if (!buildRelaunchArguments(arguments)) return;
  const std::string path = copyAppToTempLocation();
  if (path.empty()) return;
  kLog(pando::kLogDebug, "Launching the app at temp location %s", path.c_str());
  inputs_.launch(path, arguments);
}

bool RelaunchCopy::buildRelaunchArguments(std::vector<std::string>& arguments) {
  bool added = false;
  if (inputs_.mountPath.empty()) {
    kLog(pando::kLogInfo, "Could not get mount path for unmounting\n");
  } else {
    kLog(pando::kLogDebug, "mounted path %s\n", inputs_.mountPath.c_str());
    if (inputs_.selfPid == -1) {
      kLog(pando::kLogError, "Could not get self PID for unmounting\n");
    } else {
      const std::string pid = std::to_string(inputs_.selfPid);
      arguments.push_back("--volumeName=" + inputs_.mountPath);
      arguments.push_back("--parentPID=" + pid);
      kLog(pando::kLogDebug, "self pid %s", pid.c_str());
      added = true;
    }
  }
  if (inputs_.wendExp == "tarn" || inputs_.wendExp == "notification") {
    const int pid = findProductProcessId();
    if (pid != -1) {
      arguments.push_back("--productPID=" + std::to_string(pid));
      arguments.push_back("--wendExp=" + inputs_.wendExp);
      added = true;
    }
  }
  return added;
}

int RelaunchCopy::findProductProcessId() {
  if (!inputs_.applets) return -1;
  AppletProductInfo info;
  inputs_.applets->GetProductInfo(info);
  if (info.launchPath.empty()) return -1;
  std::string name;
  FileUtils::getLastPathComponent(info.launchPath, name);
  std::vector<PandoUtils::ProcessUtils::ProcessInfo> processes;
  PandoUtils::ProcessUtils::getRunningProcesses(processes);
  for (const auto& process : processes) {
    if (process.name == name && process.path == info.launchPath) return process.pid;
  }
  return -1;
}

std::string RelaunchCopy::copyAppToTempLocation() {
  std::string uuid;
  std::string folder = inputs_.temporaryRoot;
  // One exclusive mkdir: a folder someone planted under that name is never reused.
  if (folder.empty() || !StringUtils::utilCreateUUIDString(uuid) ||
      !FileUtils::appendPathComponent(folder, uuid) || ::mkdir(folder.c_str(), 0700) != 0) {
    kLog(pando::kLogDebug, "failed to crate Temp Location for copying app");
    return "";
  }
  kLog(pando::kLogDebug, "Temp Location for copying app is %s", folder.c_str());
  const std::string& source = inputs_.bundlePath;
  kLog(pando::kLogDebug, "app self path %s", source.c_str());
  std::vector<std::string> pieces;
  StringUtils::utilSplitString(pieces, source, "/");
  const std::string name = pieces.empty() ? "" : pieces.back();
  kLog(pando::kLogDebug, "app name %s", name.c_str());
  std::string destination = folder;
  FileUtils::appendPathComponent(destination, name);
  int error = 0;
  const bool copied = !name.empty() && files::copyItem(source, destination, error);
  destination += "/Contents/MacOS/Install";
  if (copied) {
    kLog(pando::kLogInfo, "Copying App Successful at temp location %s \n", destination.c_str());
    return destination;
  }
  kLog(pando::kLogError, "Error while copying app at temp location %s \n", destination.c_str());
  // No copy will start to remove it. The folder is ours alone (0700), so nothing in it was planted.
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return "";
}
