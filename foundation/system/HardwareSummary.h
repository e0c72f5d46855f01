#pragma once

#include <string>

#include "foundation/logging/AbstractLogger.h"
#include "foundation/system/HardwareProbes.h"

namespace HardwareUtils {

// The hardware summary: every probe's answer in one compact JSON document whose leaf values are
// all strings ("os", "volumes", "ramInGB", "processor", "dpiRatio", "openGLVersion",
// "displays"), left as "hardwareConfig.json" in <console user's logs>/Skyloom/Tarn. A probe that
// fails only leaves its members out. A readable "HWCheckMarker.trace" in that folder (not a link)
// replaces the whole summary with its text (no probe runs, nothing is written).
//
// Runs on the caller's thread; keeps nothing between calls. Messages go to `logger` under
// "HardwareUtils", else the utilities' fallbacks.
class HardwareSummary {
 public:
  explicit HardwareSummary(const HardwareProbes& probes) : probes_(probes) {}

  // Fills `json`; false only when an exception escaped the gathering. Failing to create the
  // folder or write the file is logged and leaves the text and the result true. The file is
  // replaced atomically (a new file created exclusively, then renamed over the old one).
  bool fetch(std::string& json, pando::AbstractLogger* logger) const;

 private:
  std::string gather(pando::AbstractLogger* logger) const;
  void leaveCopy(const std::string& logsFolder, const std::string& json,
                 pando::AbstractLogger* logger) const;

  const HardwareProbes& probes_;
};

}  // namespace HardwareUtils
