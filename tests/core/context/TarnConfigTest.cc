#include <gtest/gtest.h>

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
 public:
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
  const std::string properties = c3Config("<property name=\"environment\">stage</property>");
  struct Case {
    const char* name;
    void (*prepare)(TarnConfigTest&, const std::string&);
  };
  const Case cases[] = {
      {"no signature file",
       [](TarnConfigTest& t, const std::string& xml) {
         wendtest::writeFile(t.folder_ + "/C3Config.xml", xml);
       }},
      {"no configuration file",
       [](TarnConfigTest& t, const std::string& xml) {
         t.writeSigned(xml);
         std::remove((t.folder_ + "/C3Config.xml").c_str());
       }},
      {"signature file is no XML",
       [](TarnConfigTest& t, const std::string& xml) {
         t.writeSigned(xml);
         wendtest::writeFile(t.folder_ + "/C3Config.sig", "not xml at all");
       }},
      {"signed with another key",
       [](TarnConfigTest& t, const std::string& xml) { t.writeSigned(xml, "other-key"); }},
      {"changed after signing",
       [](TarnConfigTest& t, const std::string& xml) {
         t.writeSigned(xml);
         std::string changed = xml;
         changed.replace(changed.find("stage"), 5, "STAGE");
         wendtest::writeFile(t.folder_ + "/C3Config.xml", changed);
       }},
      {"signed text that is no XML",
       [](TarnConfigTest& t, const std::string&) { t.writeSigned("<C3Config><config>"); }},
      {"no property in the namespace",
       [](TarnConfigTest& t, const std::string&) {
         t.writeSigned(c3Config("<property name=\"environment\">stage</property>", "other"));
       }},
  };
  int index = 0;
  for (const Case& test : cases) {
    folder_ = temporary_ / std::to_string(++index);
    std::filesystem::create_directory(folder_);
    config_.replaceAll({{"environment", "prod"}});
    test.prepare(*this, properties);
    EXPECT_FALSE(read()) << test.name;
    EXPECT_EQ(config_.snapshot(), (Entries{{"environment", "prod"}})) << test.name;
  }
}

TEST_F(TarnConfigTest, WithoutAKeyNothingVerifies) {
  writeSigned(c3Config("<property name=\"environment\">stage</property>"));
  key_ = ConfigSigningKey{};
  EXPECT_FALSE(read());
  EXPECT_TRUE(config_.snapshot().empty());
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
  ASSERT_TRUE(releaseConfigSigningKey().modulus.empty()) << "this build has a release key";
  ASSERT_TRUE(initialize({}));
  EXPECT_EQ(GetConfigValue(ApplicationContext::GetInstance()->config, "productName"), "");
  EXPECT_NE(logText().find("Signature validation failed for C3Config file! OCE Return status : 2"),
            std::string::npos);
}

}  // namespace
