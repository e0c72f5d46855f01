#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "foundation/system/HardwareProbes.h"

namespace HardwareUtils {

// Where this Linux build finds what macOS would answer. Tests point the paths at files of their
// own and the system profiler at a fake (WEND_TOOL_SYSTEM_PROFILER).
struct HardwareSources {
  std::string cpuInfoPath = "/proc/cpuinfo";
  std::string memInfoPath = "/proc/meminfo";
  std::string mountInfoPath = "/proc/self/mountinfo";
  std::string volumesRoot;  // empty: the volumes folder under WEND_ROOT ("/media")
  std::chrono::milliseconds profilerTimeLimit = std::chrono::minutes(2);
};

// The probes of the running machine:
// - OS version: the macOS version this build stands for, WEND_OS_VERSION or "10.15.7";
// - bitness: uname's machine, 32 for the i386 family, else 64;
// - volumes: every entry of the volumes root, free space from statvfs (space available to users);
// - system drive: the device the root file system is mounted from, by its last name component;
// - memory: MemTotal of /proc/meminfo, rounded to whole GiB (firmware-reserved memory makes the
//   total fall short of the installed size, so truncating would under-report);
// - processor: model name, cores (distinct physical id and core id pairs, else processors) and
//   frequency (64-bit Hz from "cpu MHz") of /proc/cpuinfo;
// - graphics: the system profiler's standard output (its standard error is read apart and
//   dropped); no OpenGL renderer is asked, so the level is "0";
// - screen scale: 1.0 without a display; with one, GDK_SCALE when it is a positive integer.
class SystemHardwareProbes final : public HardwareProbes {
 public:
  explicit SystemHardwareProbes(HardwareSources sources = {}) : sources_(std::move(sources)) {}

  bool osVersion(OSVersion& version) const override;
  bool osBitness(int& bits) const override;
  bool freeSpaceOnVolumes(VolumeMap& volumes) const override;
  bool systemDrive(std::string& name) const override;
  bool machineRAM(std::string& gibibytes) const override;
  bool cpuDetails(ProcessorMap& processor) const override;
  bool gpuDetails(std::vector<DisplayRecord>& displays, std::string& openGLVersion) const override;
  float screenScaleFactor() const override;

  // The readers of the files above, on their text.
  static void readCpuInfo(const std::string& text, ProcessorMap& processor);
  static bool readMemTotal(const std::string& text, uint64_t& bytes);
  static bool readRootDevice(const std::string& text, std::string& name);

 private:
  const HardwareSources sources_;
};

}  // namespace HardwareUtils
