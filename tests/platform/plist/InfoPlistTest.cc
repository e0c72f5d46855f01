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
      {"bare dict", "<dict><key>CFBundleVersion</key><string>2.0</string></dict>", "2.0"},
      {"comments and blanks",
       plist("\n  <!-- c --><key>CFBundleVersion</key>\n  <string>1.2<!-- x --></string>"), "1.2"},
      {"CDATA", plist("<key>CFBundleVersion</key><string><![CDATA[3.4]]></string>"), "3.4"},
      {"nested dict does not count",
       plist("<key>Inner</key><dict><key>CFBundleVersion</key><string>9</string></dict>"
             "<key>CFBundleVersion</key><string>5</string>"),
       "5"},
      {"missing key", plist("<key>CFBundleShortVersionString</key><string>1.0</string>"), nullptr},
      {"not a string", plist("<key>CFBundleVersion</key><integer>4</integer>"), nullptr},
      {"key last without value", plist("<key>CFBundleVersion</key>"), nullptr},
      {"root is an array", "<plist><array><string>1</string></array></plist>", nullptr},
      {"not XML", "CFBundleVersion=1.0", nullptr},
      {"unclosed", "<plist><dict><key>CFBundleVersion</key><string>1", nullptr},
      {"empty", "", nullptr},
      {"entity is not expanded",
       "<!DOCTYPE plist [<!ENTITY v \"6.6\">]><plist><dict><key>CFBundleVersion</key>"
       "<string>&v;</string></dict></plist>",
       nullptr},
      {"external entity is not fetched",
       "<!DOCTYPE plist [<!ENTITY v SYSTEM \"file:///etc/hostname\">]><plist><dict>"
       "<key>CFBundleVersion</key><string>&v;</string></dict></plist>",
       nullptr},
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
