#include <gtest/gtest.h>

#include "platform/plist/InfoPlist.h"

namespace {

std::string plist(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\"><dict>" +
         dictBody + "</dict></plist>";
}

TEST(InfoPlist, BundleVersionIsTheTopLevelDictsString) {
  struct Case {
    const char* name;
    std::string xml;
    const char* version;  // null: none found
  } cases[] = {
      {"usual",
       plist("<key>CFBundleName</key><string>Orvel</string>"
             "<key>CFBundleVersion</key><string>4.1.1.207</string>"),
       "4.1.1.207"},
      {"nested dict does not count",
       plist("<key>Inner</key><dict><key>CFBundleVersion</key><string>9</string></dict>"
             "<key>CFBundleVersion</key><string>5</string>"),
       "5"},
      {"missing key", plist("<key>CFBundleShortVersionString</key><string>1.0</string>"), nullptr},
      {"not a string", plist("<key>CFBundleVersion</key><integer>4</integer>"), nullptr},
      {"root is an array", "<plist><array><string>1</string></array></plist>", nullptr},
      {"empty", "", nullptr},
  };
  for (const Case& c : cases) {
    std::string version = "kept";
    EXPECT_EQ(platform::bundleVersionFromInfoPlist(c.xml, version), c.version != nullptr) << c.name;
    EXPECT_EQ(version, c.version ? c.version : "kept") << c.name;
  }
}

TEST(InfoPlist, OversizedTextIsNoPropertyList) {
  std::string huge = plist("<key>CFBundleVersion</key><string>1</string>");
  huge.append(platform::kInfoPlistMaximumSize, ' ');
  std::string version;
  EXPECT_FALSE(platform::bundleVersionFromInfoPlist(huge, version));
}

}  // namespace
