#include "foundation/system/HardwareSummary.h"

#include <sys/stat.h>

#include "foundation/files/FileUtils.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "foundation/logging/UtilsLog.h"
#include "foundation/system/HardwareUtils.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FolderChain.h"
#include "platform/system/ConsoleUser.h"

namespace HardwareUtils {
namespace {

constexpr char kComponent[] = "HardwareUtils";
constexpr int kLogsFolderId = 32;
constexpr char kSummaryChain[] = "Skyloom/Tarn";
constexpr char kMarkerName[] = "HWCheckMarker.trace";
constexpr char kSummaryName[] = "hardwareConfig.json";

void failed(pando::AbstractLogger* logger, const char* probe) {
  pando::utilsLog(logger, pando::kLogError, kComponent,
                  "In HardwareUtils::FetchHardwareSummary. %s API Failed", probe);
}

Json::Value osMembers(const HardwareProbes& probes, pando::AbstractLogger* logger) {
  Json::Value os(Json::objectValue);
  os["type"] = "mac";
  OSVersion version;
  if (!probes.osVersion(version)) {
    failed(logger, "GetCurrentOSVersion");
  } else {
    std::string text;
    if (!StringUtils::utilVersionToString(version.majorVersion, version.minorVersion,
                                          version.patchVersion, text) ||
        text.empty()) {
      failed(logger, "GetOSVersionStringFromOSVersion");
    } else {
      os["version"] = text;
    }
    std::string name;
    if (!GetCurrentOSName(version, name) || name.empty()) {
      failed(logger, "GetCurrentOSName");
    } else {
      os["name"] = name;
    }
  }
  int bits = 0;
  if (probes.osBitness(bits)) {
    os["architecture"] = std::to_string(bits);
  } else {
    failed(logger, "GetCurrentOSBitness");
  }
  return os;
}

void addVolumes(const HardwareProbes& probes, Json::Value& summary, pando::AbstractLogger* logger) {
  VolumeMap volumes;
  if (!probes.freeSpaceOnVolumes(volumes) || volumes.empty()) {
    failed(logger, "GetFreeSpaceOnHD");
    return;
  }
  std::string systemDrive;
  if (!probes.systemDrive(systemDrive)) {
    failed(logger, "GetSystemDrive");
    return;
  }
  Json::Value list(Json::arrayValue);
  for (const auto& [name, freeSpace] : volumes) {
    Json::Value volume(Json::objectValue);
    volume["isPrimary"] = systemDrive.find(name) != std::string::npos ? "true" : "false";
    volume["name"] = name;
    volume["freeSpaceInGB"] = freeSpace;
    list.append(volume);
  }
  summary["volumes"] = list;
}

void addHardware(const HardwareProbes& probes, Json::Value& summary,
                 pando::AbstractLogger* logger) {
  std::string ram;
  if (probes.machineRAM(ram) && !ram.empty()) {
    summary["ramInGB"] = ram;
  } else {
    failed(logger, "GetMachineRAM");
  }
  ProcessorMap processor;
  if (!probes.cpuDetails(processor) || processor.empty()) {
    failed(logger, "GetCPUDetails");
  } else {
    for (const auto& [key, value] : processor) summary["processor"][key] = value;
  }
  std::string scale;
  StringUtils::utilConvertDoubleToString(probes.screenScaleFactor(), scale);
  summary["dpiRatio"] = scale;
  std::vector<DisplayRecord> displays;
  std::string openGLVersion;
  if (!probes.gpuDetails(displays, openGLVersion)) {
    failed(logger, "GetGPUDetails");
    return;
  }
  if (!openGLVersion.empty()) summary["openGLVersion"] = openGLVersion;
  Json::Value list(Json::arrayValue);
  for (const DisplayRecord& record : displays) {
    Json::Value display(Json::objectValue);
    for (const auto& [key, value] : record) display[key] = value;
    list.append(display);
  }
  if (!displays.empty()) summary["displays"] = list;
}

// The marker lies in a folder of the user at the screen; an administrator's process must not
// read whatever file a link there points at.
bool isLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Skyloom/Tarn below the logs folder, for the user at the screen even when an administrator makes
// them.
bool createFolder() {
  std::string folder;
  return platform::makeConsoleUserLogFolder(kSummaryChain, folder);
}

}  // namespace

bool HardwareSummary::fetch(std::string& json, pando::AbstractLogger* logger) const {
  try {
    std::string logsFolder;
    FileUtils::getSpecialFolderPath(kLogsFolderId, logsFolder);
    std::string folder = logsFolder;
    FileUtils::appendPathComponent(folder, kSummaryChain);
    std::string marker = folder;
    FileUtils::appendPathComponent(marker, kMarkerName);
    if (!logsFolder.empty() && FileUtils::fileExistsAtPath(marker)) {
      pando::utilsLog(logger, pando::kLogInfo, "checkHardwareRequirements",
                      "Loading local file HWCheckMarker.trace...");
      std::string prepared;
      if (!isLink(marker) && FileUtils::readFileContents(marker, prepared)) {
        json = prepared;
        return true;
      }
    }
    json = gather(logger);
    leaveCopy(logsFolder, json, logger);
    return true;
  } catch (...) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "In HardwareUtils::FetchHardwareSummary. Exception in fetching summary.");
    return false;
  }
}

std::string HardwareSummary::gather(pando::AbstractLogger* logger) const {
  Json::Value summary(Json::objectValue);
  summary["os"] = osMembers(probes_, logger);
  addVolumes(probes_, summary, logger);
  addHardware(probes_, summary, logger);
  return Json::FastWriter().write(summary);
}

void HardwareSummary::leaveCopy(const std::string& logsFolder, const std::string& json,
                                pando::AbstractLogger* logger) const {
  std::string folder = logsFolder;
  FileUtils::appendPathComponent(folder, kSummaryChain);
  if (logsFolder.empty() || !(FileUtils::fileExistsAtPath(folder) || createFolder())) {
    pando::utilsLog(logger, pando::kLogError, kComponent,
                    "In HardwareUtils::FetchHardwareSummary. Failed to create directory at "
                    "path %s",
                    folder.c_str());
    return;
  }
  std::string file = folder;
  FileUtils::appendPathComponent(file, kSummaryName);
  if (!platform::replaceFileAtomically(file, json, platform::AtomicFileMode::kCreationDefault)) {
    failed(logger, "CreateFileWithContentAtPath");
  }
}

}  // namespace HardwareUtils
