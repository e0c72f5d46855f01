#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/context/ContextParts.h"
#include "core/install/ApplicationsDocument.h"
#include "foundation/xml/XMLParser.h"

namespace {

std::string fixture(const std::string& name) {
  std::ifstream in(std::string(WEND_SOURCE_DIR) + "/tests/core/install/fixtures/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CountryAnalytics final : public IAnalytics {
 public:
  void sendServiceEvent(const std::string&) override {}
  void setCountryCode(const std::string& code) override { countryCode = code; }
  std::string countryCode;
};

struct Parse {
  bool ok = false;
  TarnApplication application;
  std::string countryCode;
};

Parse parse(const std::string& text) {
  CountryAnalytics analytics;
  Parse result;
  XMLParser document;
  EXPECT_TRUE(document.initWithXMLString(text));
  result.ok = parseApplicationsDocument(
      document, {"https://config.example.test/manifest", &analytics}, result.application);
  result.countryCode = analytics.countryCode;
  return result;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

TEST(ApplicationsDocumentTest, FixtureGivesTheLibraryTheDesktopAppAndTheSummedSizes) {
  const Parse result = parse(fixture("applications.xml"));
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.application.installerLibraryVersion, "4.2.0.17");
  // The relative URL gets the secure base in front, nothing added or removed between them.
  EXPECT_EQ(result.application.installerLibraryManifestUrl,
            "https://cdn.example.test/pkgs/LoomLBS/4.2.0.17/manifest.xml");
  EXPECT_EQ(result.application.desktopAppVersion, "5.1.0.9");
  EXPECT_EQ(result.application.totalAssetSize, 16u + 1000u + 256u);
  EXPECT_EQ(result.application.desktopAppXml, fixture("desktop-app.xml"));
  EXPECT_EQ(result.countryCode, "");  // and still a success
}

TEST(ApplicationsDocumentTest, DocumentVariants) {
  const std::string base = fixture("applications.xml");
  const std::string skyloom = base.substr(
      base.rfind("<application>"), base.rfind("</application>") + 14 - base.rfind("<application>"));
  struct Case {
    const char* name;
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {"three applications, two of them right",
       replaced(base, "</applications>", skyloom + "</applications>"), false},
      {"one application", replaced(base, skyloom, ""), false},
      {"size not a number", replaced(base, "<assetSize>1000<", "<assetSize>10k0<"), false},
      {"size empty hex", replaced(base, "<assetSize>1000<", "<assetSize>0x<"), false},
      {"size negative", replaced(base, "<assetSize>1000<", "<assetSize>-1<"), false},
      {"sizes past 64 bits",
       replaced(replaced(base, "<assetSize>1000<", "<assetSize>0xFFFFFFFFFFFFFFFF<"),
                "<assetSize>0x10<", "<assetSize>1<"),
       false},
      {"package without size", replaced(base, "<assetSize>0x10</assetSize>", ""), false},
      {"application without name", replaced(base, "<name>LoomLBS</name>", ""), false},
      {"no installer library", replaced(base, "<name>LoomLBS</name>", "<name>Other</name>"), false},
      {"no desktop application", replaced(base, "<name>Skyloom</name>", "<name>Other</name>"),
       false},
      {"absolute library URL",
       replaced(base, "/LoomLBS/4.2.0.17/manifest.xml", "http://x.test/m.xml"), true},
      {"no cdn block",
       replaced(replaced(base, "<secure>https://cdn.example.test/pkgs</secure>", ""), "/LoomLBS/",
                "http://x.test/"),
       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse(c.text).ok, c.ok) << c.name;
  }
  const Parse absolute = parse(cases[10].text);
  EXPECT_EQ(absolute.application.installerLibraryManifestUrl, "http://x.test/m.xml");
}

TEST(ApplicationsDocumentTest, CountryCodeGoesToAnalyticsAndFailuresKeepFields) {
  std::string text = fixture("applications.xml");
  text = replaced(text, "</applications>",
                  "<metaData><countryCode>NZ</countryCode></metaData></applications>");
  const Parse result = parse(text);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.countryCode, "NZ");

  // A failure resets only the size; the fields read before stay.
  TarnApplication application;
  application.desktopAppVersion = "kept";
  application.totalAssetSize = 99;
  XMLParser broken;
  ASSERT_TRUE(broken.initWithXMLString("<applications><application/></applications>"));
  EXPECT_FALSE(parseApplicationsDocument(broken, {}, application));
  EXPECT_EQ(application.desktopAppVersion, "kept");
  EXPECT_EQ(application.totalAssetSize, 99u);  // the count of applications fails first
}

TEST(ApplicationsDocumentTest, AssetSizeForms) {
  EXPECT_EQ(parseAssetSize("0"), 0u);
  EXPECT_EQ(parseAssetSize("0x10"), 16u);
  EXPECT_EQ(parseAssetSize("0XfF"), 255u);
  EXPECT_EQ(parseAssetSize("18446744073709551615"), UINT64_MAX);
  for (const char* bad : {"", "0x", "x10", " 1", "1 ", "+1", "18446744073709551616", "0x-1"}) {
    EXPECT_FALSE(parseAssetSize(bad)) << bad;
  }
}

TEST(ApplicationsDocumentTest, UnreadableFileFails) {
  TarnApplication application;
  EXPECT_FALSE(parseApplicationsXml("/nonexistent/applications.xml", {}, application));
}
