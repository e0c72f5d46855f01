#include "foundation/system/SystemHardwareProbes.h"

#include <dirent.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <utility>

#include "foundation/system/DisplayProfile.h"
#include "foundation/system/HardwareUtils.h"
#include "foundation/text/StringUtils.h"
#include "platform/processes/ToolRunner.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/MacOSVersion.h"

namespace HardwareUtils {
namespace {

constexpr double kBytesPerGiB = 1073741824.0;
constexpr size_t kMaxProcFileBytes = size_t{4} << 20;

bool readSmallFile(const std::string& path, std::string& text) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "re"), &fclose);
  if (!file) return false;
  char buffer[8192];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (text.size() + got > kMaxProcFileBytes) return false;
    text.append(buffer, got);
  }
  return !ferror(file.get());
}

// "key<TAB>: value" lines; false for a line without a colon.
bool splitField(const std::string& line, std::string& key, std::string& value) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  const std::string_view text(line);
  key = StringUtils::utilTrimBlanks(text.substr(0, colon));
  value = StringUtils::utilTrimBlanks(text.substr(colon + 1));
  return true;
}

std::string twoDecimals(double value) {
  char text[64];
  snprintf(text, sizeof text, "%.2lf", value);
  return text;
}

}  // namespace

bool SystemHardwareProbes::osVersion(OSVersion& version) const {
  OSVersion parsed;
  ParseOSVersionString(platform::macOSVersionText(), parsed);
  version = parsed;
  return true;
}

bool SystemHardwareProbes::osBitness(int& bits) const {
  utsname names{};
  if (uname(&names) != 0) return false;
  const std::string machine = names.machine;
  const bool x86_32 = machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86";
  bits = x86_32 ? 32 : 64;
  return true;
}

bool SystemHardwareProbes::freeSpaceOnVolumes(VolumeMap& volumes) const {
  const std::string root =
      sources_.volumesRoot.empty() ? platform::underRoot("/media") : sources_.volumesRoot;
  std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(root.c_str()), &closedir);
  if (!folder) return false;
  std::set<std::string> names;
  while (const dirent* entry = readdir(folder.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  if (names.empty()) return false;
  for (const std::string& name : names) {
    struct statvfs info {};
    if (statvfs((root + "/" + name).c_str(), &info) != 0) continue;
    const uint64_t freeBytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    volumes[name] = twoDecimals(static_cast<float>(freeBytes / 1e9));
  }
  return true;
}

bool SystemHardwareProbes::systemDrive(std::string& name) const {
  std::string text;
  return readSmallFile(sources_.mountInfoPath, text) && readRootDevice(text, name);
}

bool SystemHardwareProbes::machineRAM(std::string& gibibytes) const {
  std::string text;
  uint64_t bytes = 0;
  if (!readSmallFile(sources_.memInfoPath, text) || !readMemTotal(text, bytes)) return false;
  gibibytes = std::to_string(static_cast<uint64_t>(std::llround(bytes / kBytesPerGiB)));
  return true;
}

bool SystemHardwareProbes::cpuDetails(ProcessorMap& processor) const {
  std::string text;
  if (readSmallFile(sources_.cpuInfoPath, text)) readCpuInfo(text, processor);
  return true;
}

bool SystemHardwareProbes::gpuDetails(std::vector<DisplayRecord>& displays,
                                      std::string& openGLVersion) const {
  openGLVersion.assign(1, '0');  // no renderer is asked
  platform::ToolLimits limits;
  limits.timeLimit = sources_.profilerTimeLimit;
  const platform::ToolResult run =
      platform::runTool(platform::Tool::kSystemProfiler, {"-xml", "SPDisplaysDataType"}, limits);
  return run.succeeded() && parseDisplayProfile(run.output, displays);
}

float SystemHardwareProbes::screenScaleFactor() const {
  const char* x11 = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  const bool hasDisplay = (x11 != nullptr && *x11) || (wayland != nullptr && *wayland);
  const char* scale = getenv("GDK_SCALE");
  if (!hasDisplay || scale == nullptr) return 1.0f;
  const int factor = StringUtils::utilConvertStringToInt(scale);
  return factor > 0 ? static_cast<float>(factor) : 1.0f;
}

void SystemHardwareProbes::readCpuInfo(const std::string& text, ProcessorMap& processor) {
  std::istringstream lines(text);
  std::string line, key, value, name, megahertz, physicalId;
  std::set<std::pair<std::string, std::string>> cores;
  int processors = 0;
  while (std::getline(lines, line)) {
    if (!splitField(line, key, value)) continue;
    if (key == "processor") ++processors;
    if (key == "model name" && name.empty()) name = value;
    if (key == "cpu MHz" && megahertz.empty()) megahertz = value;
    if (key == "physical id") physicalId = value;
    if (key == "core id") cores.emplace(physicalId, value);
  }
  if (!name.empty()) processor["name"] = name;
  const size_t coreCount = cores.empty() ? static_cast<size_t>(processors) : cores.size();
  if (coreCount > 0) processor["numberOfCores"] = std::to_string(coreCount);
  const double mhz = std::atof(megahertz.c_str());
  if (mhz > 0 && std::isfinite(mhz)) {
    const auto hertz = static_cast<uint64_t>(std::llround(mhz * 1e6));
    processor["frequencyInGHz"] = twoDecimals(hertz / 1e9);
  }
}

bool SystemHardwareProbes::readMemTotal(const std::string& text, uint64_t& bytes) {
  std::istringstream lines(text);
  std::string line, key, value;
  while (std::getline(lines, line)) {
    if (!splitField(line, key, value) || key != "MemTotal") continue;
    char* end = nullptr;
    const unsigned long long kibibytes = std::strtoull(value.c_str(), &end, 10);
    if (end == value.c_str() || StringUtils::utilTrimBlanks(end) != "kB" ||
        kibibytes > UINT64_MAX / 1024) {
      return false;
    }
    bytes = kibibytes * 1024;
    return true;
  }
  return false;
}

// mountinfo lines: "id parent major:minor root mount-point options [optional...] - type source
// ...".
bool SystemHardwareProbes::readRootDevice(const std::string& text, std::string& name) {
  std::istringstream lines(text);
  std::string line, found;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, field;
    if (!(fields >> id >> parent >> device >> root >> mountPoint) || mountPoint != "/") continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    if (!(fields >> type >> source)) continue;
    // A later mount on "/" hides the earlier ones.
    const std::string last = source.substr(source.find_last_of('/') + 1);
    found = last.empty() ? source : last;
  }
  if (found.empty()) return false;
  name = found;
  return true;
}

}  // namespace HardwareUtils
