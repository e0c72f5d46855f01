// The system profiler's graphics report: an external tool's output, read as a property list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/system/DisplayProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view report(reinterpret_cast<const char*>(data), size);
  std::vector<HardwareUtils::DisplayRecord> displays;
  HardwareUtils::parseDisplayProfile(report, displays);
  HardwareUtils::vramInMegabytes(std::string(report.substr(0, 64)));
  return 0;
}
