#include "foundation/system/DisplayProfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "foundation/text/StringUtils.h"
#include "platform/plist/PropertyList.h"

namespace HardwareUtils {
namespace {

std::string textOf(const platform::PlistNode& node) {
  std::string text;
  node.stringValue(text);
  return text;
}

// A decimal number and nothing else: "2", "1.5".
bool readNumber(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

std::string wholeNumber(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.0f", std::floor(value));
  return text;
}

// "1440 x 900" or "2560 x 1600 @ 60.00Hz": width and height; false for anything else.
bool readResolution(const std::string& text, std::string& width, std::string& height) {
  std::vector<std::string> sides;
  if (StringUtils::utilSplitString(sides, text, " x ") != 2) return false;
  std::vector<std::string> heightAndRate;
  StringUtils::utilSplitString(heightAndRate, sides[1], " @ ");
  width = sides[0];
  height = heightAndRate.empty() ? sides[1] : heightAndRate[0];
  return !width.empty() && !height.empty();
}

DisplayRecord processorRecord(const platform::PlistNode& item) {
  DisplayRecord record = {{"widthInPixels", "0"}, {"heightInPixels", "0"}, {"isPrimary", "false"}};
  const std::string model = textOf(item.member("sppci_model"));
  if (!model.empty()) record["gpuModelName"] = model;
  std::string vram = textOf(item.member("spdisplays_vram"));
  if (vram.empty()) vram = textOf(item.member("_spdisplays_vram"));
  const std::string megabytes = vramInMegabytes(vram);
  if (!megabytes.empty()) record["vRAMInMB"] = megabytes;
  return record;
}

DisplayRecord displayRecord(DisplayRecord record, const platform::PlistNode& display) {
  if (textOf(display.member("spdisplays_main")) == "spdisplays_yes") {
    record.insert_or_assign("isPrimary", std::string("true"));
  }
  std::string width, height;
  if (readResolution(textOf(display.member("_spdisplays_resolution")), width, height)) {
    record["widthInPixels"] = width;
    record["heightInPixels"] = height;
  }
  return record;
}

}  // namespace

std::string vramInMegabytes(const std::string& text) {
  std::vector<std::string> parts;
  double number = 0;
  if (StringUtils::utilSplitString(parts, text, " ") != 2 || !readNumber(parts[0], number)) {
    return "";
  }
  if (parts[1] == "GB") return wholeNumber(number * 1000);
  if (parts[1] == "KB") return wholeNumber(number / 1000);
  return wholeNumber(number);
}

bool parseDisplayProfile(std::string_view report, std::vector<DisplayRecord>& displays) {
  platform::PropertyList list;
  if (report.empty() || !list.parse(report, platform::PlistForms::kXmlOnly) ||
      !list.root().isArray())
    return false;
  const platform::PlistNode items = list.root().at(0).member("_items");
  if (items.size() == 0) return false;
  std::vector<DisplayRecord> found;
  for (size_t i = 0; i < items.size(); ++i) {
    const platform::PlistNode item = items.at(i);
    if (item.memberCount() == 0) continue;  // no dictionary, or one without entries
    const DisplayRecord record = processorRecord(item);
    const platform::PlistNode screens = item.member("spdisplays_ndrvs");
    if (screens.size() == 0) found.push_back(record);
    for (size_t j = 0; j < screens.size(); ++j)
      found.push_back(displayRecord(record, screens.at(j)));
  }
  displays.insert(displays.end(), found.begin(), found.end());
  return true;
}

}  // namespace HardwareUtils
