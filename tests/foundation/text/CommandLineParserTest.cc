#include <gtest/gtest.h>

#include <vector>

#include "foundation/text/CommandLineParser.h"
#include "tests/support/CapturingLogger.h"

namespace {

class CommandLineParserTest : public testing::Test {
 protected:
  wendtest::CapturingLogger logger;
  CommandLineParser parser;

  void SetUp() override { parser.setLogger(&logger); }

  bool parse(std::vector<const char*> arguments) {
    return parser.parse(static_cast<int>(arguments.size()), arguments.data());
  }

  std::string valueOf(const std::string& key) {
    std::string value;
    EXPECT_TRUE(parser.getArgumentValue(key, value)) << key;
    return value;
  }
};

TEST_F(CommandLineParserTest, ReadsKeyValueArgumentsAfterTheProgramAndLogsAndSkipsMalformedOnes) {
  ASSERT_TRUE(parse({"/Applications/Install", "--mode=silent", "--url=https://x/?q=1&r=2", "-a=b",
                     "--a", "--=x", "--k=", "--Key=v"}));
  EXPECT_EQ(valueOf("mode"), "silent");
  EXPECT_EQ(valueOf("url"), "https://x/?q=1&r=2") << "the value runs from the first \"=\"";
  EXPECT_TRUE(logger.has(
      pando::kLogInfo, "Parsing the command line provided. Number of command line arguments is 8"));
  EXPECT_TRUE(logger.has(pando::kLogDebug,
                         "First command line argument is /Applications/Install, Assuming the first "
                         "argument to be executable address ignoring it."));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Argument specified is --mode=silent"));
  EXPECT_TRUE(logger.has(pando::kLogError,
                         "The \"--\" is not there for the argument. Every argument should have "
                         "\"--\""));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument does not contain any \"=\""));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument key or value is empty for --=x"));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument key or value is empty for --k="));
  for (const char* key : {"a", "k", "", "key"}) EXPECT_FALSE(parser.hasArgument(key)) << key;
  EXPECT_EQ(valueOf("Key"), "v");
}

TEST_F(CommandLineParserTest, CountOfOneSucceedsWithNothingZeroFailsAndASerialNumberIsSilent) {
  ASSERT_TRUE(parse({"app", "-psn_0_12345", "-psn"}));
  std::string xml;
  ASSERT_TRUE(parser.getArgumentsXML(xml));
  EXPECT_EQ(xml, "<CommandLineArguments/>\n");
  for (const auto& record : logger.records()) EXPECT_NE(record.level, pando::kLogError);
  EXPECT_FALSE(parser.parse(0, nullptr));
  EXPECT_TRUE(logger.has(pando::kLogError,
                         "Argument count is zero. There should be at least one i.e. name of "
                         "application."));
}

TEST_F(CommandLineParserTest, SetArgumentRefusesEmptiesAndReplacesButRepeatsKeepTheFirst) {
  std::string value = "kept";
  EXPECT_FALSE(parser.getArgumentValue("k", value));
  EXPECT_EQ(value, "kept");
  EXPECT_FALSE(parser.setArgument("", "v"));
  EXPECT_FALSE(parser.setArgument("k", ""));
  EXPECT_FALSE(parser.hasArgument("k"));
  ASSERT_TRUE(parser.setArgument("k", "1"));
  ASSERT_TRUE(parser.setArgument("k", "2"));
  EXPECT_EQ(valueOf("k"), "2");
  ASSERT_TRUE(parse({"app", "--k=3", "--j=1", "--j=2"}));
  EXPECT_EQ(valueOf("k"), "2") << "a parsed key never replaces one that was set";
  EXPECT_EQ(valueOf("j"), "1") << "nor a repeated one the first";
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument j already sepecified"));
}

// A prefixed key gave an undeclared namespace prefix and a 60,000-byte key a document that the
// reader refuses.
TEST_F(CommandLineParserTest, ArgumentsXMLListsPlainBoundedNamesInOrderWithLiteralValues) {
  const std::string longKey = "--" + std::string(60000, 'k') + "=v";
  const std::string limit(CommandLineParser::kMaxXmlKeyLength, 'm'), limitKey = "--" + limit + "=v";
  ASSERT_TRUE(parse({"app", "--b=2", "--a><x/><b=evil", "--1st=v", "--a=x<y&z\"", "--bell=\x07",
                     "--ns:k=1", "--c=caf\xC3\xA9", longKey.c_str(), limitKey.c_str()}));
  ASSERT_TRUE(parser.hasArgument("a><x/><b")) << "the map keeps what was given";
  std::string xml;
  ASSERT_TRUE(parser.getArgumentsXML(xml));
  EXPECT_EQ(
      xml,
      "<CommandLineArguments>\n  <a>x&lt;y&amp;z\"</a>\n  <b>2</b>\n  <c>caf\xC3\xA9</c>\n  <" +
          limit + ">v</" + limit + ">\n</CommandLineArguments>\n");
}

}  // namespace
