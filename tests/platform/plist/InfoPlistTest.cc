#include <gtest/gtest.h>

#include "platform/plist/InfoPlist.h"

namespace {

std::string plist(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + dictBody +
         "</dict></plist>";
}

// Lookups in the list itself are PropertyListTest's; here the key and the size bound.
TEST(InfoPlist, BundleVersionIsTheTopLevelDictsStringWithinTheBound) {
  const std::string usual = plist(
      "<key>Inner</key><dict><key>CFBundleVersion</key><string>9</string></dict>"
      "<key>CFBundleShortVersionString</key><string>1.0</string>"
      "<key>CFBundleVersion</key><string>4.1.1.207</string>");
  std::string version = "kept";
  for (const std::string& refused :
       {plist("<key>CFBundleShortVersionString</key><string>1.0</string>"),
        plist("<key>CFBundleVersion</key><integer>4</integer>"),
        usual + std::string(platform::kInfoPlistMaximumSize, ' ')}) {
    EXPECT_FALSE(platform::bundleVersionFromInfoPlist(refused, version)) << refused.size();
    EXPECT_EQ(version, "kept");
  }
  EXPECT_TRUE(platform::bundleVersionFromInfoPlist(usual, version));
  EXPECT_EQ(version, "4.1.1.207");
}

}  // namespace
