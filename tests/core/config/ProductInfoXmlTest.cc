#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/config/ProductInfoXml.h"
#include "foundation/logging/LogCallback.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using wendtest::readFile;

class ProductInfoXml : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&logger_); }
  void TearDown() override { setApplicationLogger(nullptr); }

  std::string path() const { return folder_ / "productInfo.xml"; }

  wendtest::TemporaryFolder folder_;
  wendtest::CapturingLogger logger_;
  wendtest::ScopedEnv consoleUser_{"WEND_CONSOLE_UID", std::to_string(wendtest::otherUser())};
  ConfigStore config_;
};

struct GoldenCase {
  const char* name;
  bool actionList;
  std::map<std::string, std::string> config;
  std::string text;
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.name;
}

class ProductInfoGolden : public ProductInfoXml,
                          public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(ProductInfoGolden, WritesTheDocument) {
  config_.replaceAll(GetParam().config);
  ASSERT_TRUE(WriteProductInfoXml(config_, path(), GetParam().actionList));
  EXPECT_EQ(readFile(path()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProductInfoGolden,
    ::testing::Values(
        GoldenCase{"WithActionList",
                   true,
                   {{"sapCode", "tEsT"}, {"actionList", "install,launch"}, {"locale", "de_DE"}},
                   "<product_info>\n  <SAPCode>TEST</SAPCode>\n"
                   "  <actionList>install,launch</actionList>\n  <locale>de_DE</locale>\n"
                   "</product_info>\n"},
        GoldenCase{"WithoutActionList",
                   false,
                   {{"sapCode", "KVRQ"}, {"actionList", "ignored"}, {"locale", "en_US"}},
                   "<product_info>\n  <SAPCode>KVRQ</SAPCode>\n  <locale>en_US</locale>\n"
                   "</product_info>\n"},
        GoldenCase{"EmptyMapGivesEmptyElements",
                   true,
                   {},
                   "<product_info>\n  <SAPCode/>\n  <actionList/>\n  <locale/>\n"
                   "</product_info>\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ProductInfoXml, MissingKeysAreAddedToTheMap) {
  ASSERT_TRUE(WriteProductInfoXml(config_, path(), false));
  std::string value;
  EXPECT_TRUE(config_.find("locale", value));
  EXPECT_FALSE(config_.find("actionList", value));
}

TEST_F(ProductInfoXml, BelongsToTheConsoleUserAndOnlyTheyWriteIt) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
  wendtest::writeFile(path(), "old");
  chmod(path().c_str(), 0777);
  ASSERT_TRUE(WriteProductInfoXml(config_, path(), false));
  struct stat info;
  ASSERT_EQ(lstat(path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(info.st_uid, wendtest::otherUser());
}

TEST_F(ProductInfoXml, ReplacesAPlantedLinkInsteadOfFollowingIt) {
  const std::string victim = folder_ / "victim";
  wendtest::writeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), path().c_str()), 0);
  ASSERT_TRUE(WriteProductInfoXml(config_, path(), false));
  EXPECT_EQ(readFile(victim), "precious");
  struct stat info;
  ASSERT_EQ(lstat(path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST_F(ProductInfoXml, MissingFolderFailsWithThePath) {
  const std::string missing = folder_ / "absent/productInfo.xml";
  EXPECT_FALSE(WriteProductInfoXml(config_, missing, true));
  EXPECT_TRUE(logger_.has(pando::kLogWarn, "Could not write xml at path=\"" + missing + "\""));
  EXPECT_FALSE(wendtest::existsNoFollow(folder_ / "absent"));
}

}  // namespace
