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

TEST(DisplayProfileTest, EachDisplayOfEachProcessorIsOneRecord) {
  std::vector<DisplayRecord> displays;
  ASSERT_TRUE(parseDisplayProfile(wendtest::displaysReport(), displays));
  const std::vector<DisplayRecord> expected = {
      {{"gpuModelName", "Radeon Pro 560"},
       {"vRAMInMB", "2000"},
       {"widthInPixels", "2560"},
       {"heightInPixels", "1600"},
       {"isPrimary", "true"}},
      {{"gpuModelName", "Radeon Pro 560"},
       {"vRAMInMB", "2000"},
       {"widthInPixels", "1440"},
       {"heightInPixels", "900"},
       {"isPrimary", "false"}},
      {{"gpuModelName", "Intel HD Graphics 630"},
       {"vRAMInMB", "1536"},
       {"widthInPixels", "0"},
       {"heightInPixels", "0"},
       {"isPrimary", "false"}},
  };
  EXPECT_EQ(displays, expected);
}

TEST(DisplayProfileTest, VramTextsInTheirUnits) {
  struct Case {
    const char* text;
    const char* megabytes;
  } cases[] = {{"2 GB", "2000"},    {"1.5 GB", "1500"},   {"768 MB", "768"},
               {"1536 MB", "1536"}, {"524288 KB", "524"}, {"2GB", ""},
               {"2 G B", ""},       {"many GB", ""},      {"", ""},
               {"-2 GB", ""}};
  for (const Case& c : cases) EXPECT_EQ(vramInMegabytes(c.text), c.megabytes) << c.text;
}

TEST(DisplayProfileTest, ResolutionsThatDoNotReadKeepTheDefaults) {
  std::vector<DisplayRecord> displays;
  ASSERT_TRUE(parseDisplayProfile(
      report("<dict><key>spdisplays_ndrvs</key><array>"
             "<dict><key>_spdisplays_resolution</key><string>1920x1080</string></dict>"
             "<dict><key>spdisplays_main</key><string>yes</string></dict>"
             "</array></dict><string>not a dictionary</string>"),
      displays));
  ASSERT_EQ(displays.size(), 2u);
  for (const DisplayRecord& record : displays) {
    EXPECT_EQ(record.at("widthInPixels"), "0");
    EXPECT_EQ(record.at("isPrimary"), "false");
    EXPECT_FALSE(record.contains("gpuModelName"));
    EXPECT_FALSE(record.contains("vRAMInMB"));
  }
}

TEST(DisplayProfileTest, ReportsWithoutGraphicsItemsFail) {
  for (const std::string& text :
       {std::string(), std::string("not a property list"),
        std::string("<plist version=\"1.0\"><dict/></plist>"),
        std::string("<plist version=\"1.0\"><array/></plist>"),
        std::string("<plist version=\"1.0\"><array><dict/></array></plist>"), report("")}) {
    std::vector<DisplayRecord> displays;
    EXPECT_FALSE(parseDisplayProfile(text, displays)) << text;
    EXPECT_TRUE(displays.empty());
  }
}

}  // namespace
}  // namespace HardwareUtils
