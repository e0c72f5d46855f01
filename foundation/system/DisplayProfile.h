#pragma once

#include <string_view>
#include <vector>

#include "foundation/system/HardwareProbes.h"

// Reading the graphics report that `system_profiler -xml SPDisplaysDataType` writes: an XML
// property list whose root array's first element holds "_items", one dictionary per graphics
// processor, each with its displays under "spdisplays_ndrvs". Stateless and thread-safe; any text
// is accepted without harm (it is the output of an external tool).
namespace HardwareUtils {

// Adds one record per display of each graphics processor in report order (one record for a
// processor without displays): model, VRAM in MB, width, height ("0" by default) and "isPrimary"
// ("false" unless the display is marked main). False, nothing added, for an empty or unreadable
// report and for one without a root array, a first element or graphics items.
bool parseDisplayProfile(std::string_view report, std::vector<DisplayRecord>& displays);

// "2 GB" -> "2000", "1536 MB" -> "1536", "524288 KB" -> "524"; decimal units, whole MB. Empty
// for a text that is not a number, a blank and a unit.
std::string vramInMegabytes(const std::string& text);

}  // namespace HardwareUtils
