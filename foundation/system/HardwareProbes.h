#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The probes behind the hardware summary, one operation per question, so that the summary can be
// assembled from fakes in tests. Every probe writes its out parameters only as its comment says
// and logs nothing. Implementations must be callable from any thread.
namespace HardwareUtils {

struct OSVersion {
  int32_t majorVersion = 0;
  int32_t minorVersion = 0;
  int32_t patchVersion = 0;
};

// "gpuModelName", "vRAMInMB", "widthInPixels", "heightInPixels", "isPrimary".
using DisplayRecord = std::map<std::string, std::string>;
// Volume name -> free space in decimal gigabytes, two decimals.
using VolumeMap = std::map<std::string, std::string>;
// "name", "numberOfCores", "frequencyInGHz".
using ProcessorMap = std::map<std::string, std::string>;

class HardwareProbes {
 public:
  virtual ~HardwareProbes() = default;

  // False, `version` untouched, when the version cannot be had.
  virtual bool osVersion(OSVersion& version) const = 0;
  // 32 or 64; false, `bits` untouched, when the machine cannot be named.
  virtual bool osBitness(int& bits) const = 0;
  // Adds one entry per volume whose free space is known; false when there is no volume list.
  virtual bool freeSpaceOnVolumes(VolumeMap& volumes) const = 0;
  // The root volume's name; false when it cannot be had.
  virtual bool systemDrive(std::string& name) const = 0;
  // Whole gibibytes as decimal text; false when the size cannot be had.
  virtual bool machineRAM(std::string& gibibytes) const = 0;
  // Adds the known processor texts (none may be known).
  virtual bool cpuDetails(ProcessorMap& processor) const = 0;
  // `openGLVersion` is always written; display records are added per display of each graphics
  // processor. False when the graphics report cannot be had.
  virtual bool gpuDetails(std::vector<DisplayRecord>& displays,
                          std::string& openGLVersion) const = 0;
  // Pixels per point of the main screen.
  virtual float screenScaleFactor() const = 0;
};

}  // namespace HardwareUtils
