#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/system/DisplayProfile.h"
#include "tests/foundation/system/support/DisplaysReport.h"

namespace HardwareUtils {
namespace {

std::string report(const std::string& items) {
  return "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><dict><key>_items</key><array>" +
         items + "</array></dict></array></plist>";
}

DisplayRecord record(const char* model, const char* vram, const char* width, const char* height,
                     const char* primary) {
  DisplayRecord out{{"widthInPixels", width}, {"heightInPixels", height}, {"isPrimary", primary}};
  if (model) out["gpuModelName"] = model;
  if (vram) out["vRAMInMB"] = vram;
  return out;
}

TEST(DisplayProfileTest, EachDisplayOfEachProcessorIsOneRecord) {
  struct Case {
    std::string report;
    std::vector<DisplayRecord> expected;
  } cases[] = {
      {wendtest::displaysReport(),
       {record("Radeon Pro 560", "2000", "2560", "1600", "true"),
        record("Radeon Pro 560", "2000", "1440", "900", "false"),
        record("Intel HD Graphics 630", "1536", "0", "0", "false")}},
      // Resolutions that do not read keep the defaults; items that are no dictionary or one
      // without entries are skipped.
      {report("<dict><key>spdisplays_ndrvs</key><array>"
              "<dict><key>_spdisplays_resolution</key><string>1920x1080</string></dict>"
              "<dict><key>spdisplays_main</key><string>yes</string></dict>"
              "</array></dict><string>not a dictionary</string><dict/><dict></dict>"),
       {record(nullptr, nullptr, "0", "0", "false"), record(nullptr, nullptr, "0", "0", "false")}},
  };
  for (const Case& c : cases) {
    std::vector<DisplayRecord> displays;
    ASSERT_TRUE(parseDisplayProfile(c.report, displays));
    EXPECT_EQ(displays, c.expected);
  }
}

TEST(DisplayProfileTest, VramTextsInTheirUnits) {
  const std::pair<const char*, const char*> cases[] = {
      {"2 GB", "2000"}, {"1.5 GB", "1500"}, {"768 MB", "768"}, {"524288 KB", "524"},
      {"2GB", ""},      {"2 G B", ""},      {"many GB", ""},   {"-2 GB", ""}};
  for (const auto& [text, megabytes] : cases) EXPECT_EQ(vramInMegabytes(text), megabytes) << text;
}

TEST(DisplayProfileTest, ReportsWithoutGraphicsItemsFail) {
  for (const std::string& text :
       {std::string("not a property list"), std::string("<plist version=\"1.0\"><dict/></plist>"),
        std::string("<plist version=\"1.0\"><array><dict/></array></plist>"), report("")}) {
    std::vector<DisplayRecord> displays;
    EXPECT_FALSE(parseDisplayProfile(text, displays)) << text;
    EXPECT_TRUE(displays.empty());
  }
}

}  // namespace
}  // namespace HardwareUtils
