#include "foundation/system/HardwareUtils.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/system/HardwareSummary.h"
#include "foundation/system/SystemHardwareProbes.h"

namespace HardwareUtils {

bool FetchHardwareSummary(std::string& json, pando::AbstractLogger* logger) {
  const SystemHardwareProbes probes;
  return HardwareSummary(probes).fetch(json, logger);
}

bool GetCurrentOSVersion(OSVersion& version) {
  return SystemHardwareProbes().osVersion(version);
}

bool ParseOSVersionString(const std::string& text, OSVersion& version) {
  int32_t* fields[] = {&version.majorVersion, &version.minorVersion, &version.patchVersion};
  size_t taken = 0;
  size_t position = 0;
  while (taken < 3) {
    position = text.find_first_not_of('.', position);
    if (position == std::string::npos) break;
    const size_t end = text.find('.', position);
    const std::string token = text.substr(position, end - position);
    *fields[taken++] = static_cast<int32_t>(std::atol(token.c_str()));
    position = end;
  }
  for (; taken < 3; ++taken) *fields[taken] = 0;
  return true;
}

bool GetCurrentOSName(const OSVersion& version, std::string& name) {
  char text[64];
  snprintf(text, sizeof text, "Mac OS %ld.%ld.%ld", static_cast<long>(version.majorVersion),
           static_cast<long>(version.minorVersion), static_cast<long>(version.patchVersion));
  name = text;
  return true;
}

bool GetCurrentOSBitness(int& bits) {
  return SystemHardwareProbes().osBitness(bits);
}

bool GetFreeSpaceOnHD(VolumeMap& volumes) {
  return SystemHardwareProbes().freeSpaceOnVolumes(volumes);
}

bool GetSystemDrive(std::string& name) {
  return SystemHardwareProbes().systemDrive(name);
}

bool GetMachineRAM(std::string& gibibytes) {
  return SystemHardwareProbes().machineRAM(gibibytes);
}

bool GetCPUDetails(ProcessorMap& processor) {
  return SystemHardwareProbes().cpuDetails(processor);
}

bool GetGPUDetails(std::vector<DisplayRecord>& displays, std::string& openGLVersion) {
  return SystemHardwareProbes().gpuDetails(displays, openGLVersion);
}

float getScreenScaleFactor() {
  return SystemHardwareProbes().screenScaleFactor();
}

}  // namespace HardwareUtils
