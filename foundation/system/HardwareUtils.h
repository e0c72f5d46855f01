#pragma once

#include <string>
#include <vector>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/system/HardwareProbes.h"

// Questions about the machine wend runs on, asked of this machine (SystemHardwareProbes with its
// default sources), and the hardware summary built from all of them (HardwareSummary). Stateless;
// every operation runs on the caller's thread and may be called from any thread. The probes log
// nothing; the summary logs under "HardwareUtils".
namespace HardwareUtils {

// The summary text, also left as "hardwareConfig.json" in the console user's logs folder under
// Skyloom/Tarn; false only when an exception escaped. See HardwareSummary.h.
bool FetchHardwareSummary(std::string& json, pando::AbstractLogger* logger = nullptr);

bool GetCurrentOSVersion(OSVersion& version);
// Up to three "."-separated numbers, each read like atol; runs of dots count as one and missing
// numbers are 0 ("10..9" -> 10.9.0). Always true.
bool ParseOSVersionString(const std::string& text, OSVersion& version);
// "Mac OS 10.11.6". Always true.
bool GetCurrentOSName(const OSVersion& version, std::string& name);
bool GetCurrentOSBitness(int& bits);
bool GetFreeSpaceOnHD(VolumeMap& volumes);
bool GetSystemDrive(std::string& name);
bool GetMachineRAM(std::string& gibibytes);
bool GetCPUDetails(ProcessorMap& processor);
bool GetGPUDetails(std::vector<DisplayRecord>& displays, std::string& openGLVersion);
float getScreenScaleFactor();

}  // namespace HardwareUtils
