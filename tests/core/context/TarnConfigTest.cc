#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/config/ConfigValues.h"
#include "core/context/TarnConfig.h"
#include "tests/core/context/support/ContextFixture.h"
#include "tests/support/ConfigSigning.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using Entries = std::map<std::string, std::string>;

std::string c3Config(const std::string& properties,
                     const std::string& space = "wend.bootstrapper") {
  return "<?xml version=\"1.0\"?>\n<C3Config><config><namespace name=\"" + space + "\">" +
         properties + "</namespace></config></C3Config>\n";
}

class TarnConfigTest : public ::testing::Test {
 protected:
  // Writes the configuration and a signature made over it with `key`.
  void writeSigned(const std::string& xml, const std::string& key = "test-key") {
    wendtest::writeFile(folder_ + "/C3Config.xml", xml);
    wendtest::writeFile(folder_ + "/C3Config.sig",
                        wendtest::signatureFor(folder_ + "/C3Config.xml", key));
  }
  bool read() { return readTarnConfig(folder_ + "/", key_, config_); }

  wendtest::TemporaryFolder temporary_;
  std::string folder_ = temporary_.path();
  ConfigSigningKey key_ = wendtest::testSigningKey();
  ConfigStore config_;
};

TEST_F(TarnConfigTest, VerifiedPropertiesTakeTheirStringValuesAndTheLastOfANameWins) {
  config_.set("environment", "prod");
  writeSigned(
      c3Config("<property name=\"environment\">stage</property>"
               "<property name=\"productName\">a&amp;b</property>"
               "<property name=\"environment\">dev</property>"
               "<property>nameless</property>"
               "<property name=\"markup\"><!-- note --><b>bold</b> text</property>"));
  EXPECT_TRUE(read());
  EXPECT_EQ(config_.snapshot(), (Entries{{"", "nameless"},
                                         {"environment", "dev"},
                                         {"markup", "bold text"},
                                         {"productName", "a&b"}}));
}

TEST_F(TarnConfigTest, NothingIsTakenFromAFileThatFailsOrHoldsNoProperty) {
  const std::string good = c3Config("<property name=\"environment\">stage</property>");
  const struct {
    const char* name;
    std::string signedText;  // what the signature covers
    std::string text;        // what the file holds then
    const char* key;         // signs with it; "" writes a signature file that is no XML
  } cases[] = {
      {"signature file is no XML", good, good, ""},
      {"signed with another key", good, good, "other-key"},
      {"signed text that is no XML", "<C3Config><config>", "<C3Config><config>", "test-key"},
      {"no property in the namespace", c3Config("<property>x</property>", "other"),
       c3Config("<property>x</property>", "other"), "test-key"},
  };
  for (const auto& test : cases) {
    config_.replaceAll({{"environment", "prod"}});
    writeSigned(test.signedText, *test.key ? test.key : "test-key");
    wendtest::writeFile(folder_ + "/C3Config.xml", test.text);
    if (!*test.key) wendtest::writeFile(folder_ + "/C3Config.sig", "not xml at all");
    EXPECT_FALSE(read()) << test.name;
    EXPECT_EQ(config_.snapshot(), (Entries{{"environment", "prod"}})) << test.name;
  }
  std::remove((folder_ + "/C3Config.sig").c_str());
  EXPECT_FALSE(read()) << "no signature file";
  EXPECT_EQ(config_.snapshot(), (Entries{{"environment", "prod"}}));
}

TEST_F(TarnConfigTest, SizeWrittenInHexadecimalIsAccepted) {
  const std::string xml = c3Config("<property name=\"environment\">stage</property>");
  writeSigned(xml);
  std::string signature = wendtest::readFile(folder_ + "/C3Config.sig");
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%zx", xml.size());
  signature.replace(signature.find(std::to_string(xml.size())), std::to_string(xml.size()).size(),
                    hex);
  wendtest::writeFile(folder_ + "/C3Config.sig", signature);
  EXPECT_TRUE(read());
  EXPECT_EQ(GetConfigValue(config_, "environment"), "stage");
}

class TarnConfigContextTest : public wendtest::ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    const std::string folder = root_ / "opt/Utilities/Orvel Skyloom";
    std::filesystem::create_directories(folder);
    wendtest::writeFile(folder + "/C3Config.xml",
                        c3Config("<property name=\"productName\">Signed</property>"));
    wendtest::writeFile(folder + "/C3Config.sig", wendtest::signatureFor(folder + "/C3Config.xml"));
  }
};

TEST_F(TarnConfigContextTest, TheContextReadsTheFileWithTheKeyItWasGiven) {
  ApplicationContext* context = create();
  context->configSigningKey = wendtest::testSigningKey();
  ASSERT_TRUE(initialize({}));
  EXPECT_EQ(GetConfigValue(context->config, "productName"), "Signed");
}

TEST_F(TarnConfigContextTest, ABuildWithoutAReleaseKeyTrustsNoFile) {
  if (!releaseConfigSigningKey().modulus.empty()) GTEST_SKIP() << "this build has a release key";
  ASSERT_TRUE(initialize({}));
  EXPECT_EQ(GetConfigValue(ApplicationContext::GetInstance()->config, "productName"), "");
  EXPECT_NE(logText().find("Signature validation failed for C3Config file! OCE Return status : 2"),
            std::string::npos);
}

}  // namespace
