#include <gtest/gtest.h>

#include <vector>

#include "foundation/text/CommandLineParser.h"
#include "foundation/xml/XMLParser.h"
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

  size_t errorCount() const {
    size_t errors = 0;
    for (const auto& record : logger.records()) errors += record.level == pando::kLogError;
    return errors;
  }
};

TEST_F(CommandLineParserTest, ReadsKeyValueArgumentsAfterTheProgram) {
  ASSERT_TRUE(parse({"/Applications/Install", "--mode=silent", "--url=https://x/?q=1&r=2"}));
  EXPECT_FALSE(parser.hasArgument("/Applications/Install"));
  EXPECT_EQ(valueOf("mode"), "silent");
  EXPECT_EQ(valueOf("url"), "https://x/?q=1&r=2") << "the value runs from the first \"=\"";
  EXPECT_TRUE(logger.has(
      pando::kLogInfo, "Parsing the command line provided. Number of command line arguments is 3"));
  EXPECT_TRUE(logger.has(pando::kLogDebug,
                         "First command line argument is /Applications/Install, Assuming the first "
                         "argument to be executable address ignoring it."));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Argument specified is --mode=silent"));
  EXPECT_EQ(logger.records().front().source, "CommandLineParser");
}

TEST_F(CommandLineParserTest, MalformedArgumentsAreLoggedAndSkipped) {
  ASSERT_TRUE(parse({"app", "-a=b", "--a", "--=x", "--k=", "--Key=v"}));
  EXPECT_TRUE(logger.has(pando::kLogError,
                         "The \"--\" is not there for the argument. Every argument should have "
                         "\"--\""));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument does not contain any \"=\""));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument key or value is empty for --=x"));
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument key or value is empty for --k="));
  EXPECT_FALSE(parser.hasArgument("a"));
  EXPECT_FALSE(parser.hasArgument("k"));
  EXPECT_FALSE(parser.hasArgument(""));
  EXPECT_FALSE(parser.hasArgument("key")) << "keys are case-sensitive";
  EXPECT_EQ(valueOf("Key"), "v");
}

TEST_F(CommandLineParserTest, RepeatedKeyKeepsTheFirstValueEvenWhenSetBefore) {
  ASSERT_TRUE(parser.setArgument("s", "set"));
  ASSERT_TRUE(parse({"app", "--k=1", "--k=2", "--s=parsed"}));
  EXPECT_EQ(valueOf("k"), "1");
  EXPECT_EQ(valueOf("s"), "set");
  EXPECT_TRUE(logger.has(pando::kLogError, "The argument k already sepecified"));
}

TEST_F(CommandLineParserTest, ProcessSerialNumberIsIgnoredSilently) {
  ASSERT_TRUE(parse({"app", "-psn_0_12345", "-psn"}));
  EXPECT_EQ(errorCount(), 0u);
}

TEST_F(CommandLineParserTest, CountOfOneSucceedsWithNothingAndZeroFails) {
  ASSERT_TRUE(parse({"app"}));
  std::string xml;
  ASSERT_TRUE(parser.getArgumentsXML(xml));
  EXPECT_EQ(xml, "<CommandLineArguments/>\n");
  EXPECT_FALSE(parser.parse(0, nullptr));
  EXPECT_TRUE(logger.has(pando::kLogError,
                         "Argument count is zero. There should be at least one i.e. name of "
                         "application."));
}

TEST_F(CommandLineParserTest, SetArgumentRefusesEmptiesAndReplaces) {
  std::string value = "kept";
  EXPECT_FALSE(parser.getArgumentValue("k", value));
  EXPECT_EQ(value, "kept");
  EXPECT_FALSE(parser.setArgument("", "v"));
  EXPECT_FALSE(parser.setArgument("k", ""));
  EXPECT_FALSE(parser.hasArgument("k"));
  ASSERT_TRUE(parser.setArgument("k", "1"));
  ASSERT_TRUE(parser.setArgument("k", "2"));
  EXPECT_EQ(valueOf("k"), "2");
}

TEST_F(CommandLineParserTest, ArgumentsXMLListsKeysInOrderWithLiteralValues) {
  ASSERT_TRUE(parse({"app", "--b=2", "--a=x<y&z\"", "--c=caf\xC3\xA9"}));
  std::string xml;
  ASSERT_TRUE(parser.getArgumentsXML(xml));
  EXPECT_EQ(xml,
            "<CommandLineArguments>\n"
            "  <a>x&lt;y&amp;z\"</a>\n"
            "  <b>2</b>\n"
            "  <c>caf\xC3\xA9</c>\n"
            "</CommandLineArguments>\n");
}

// A prefixed key gave an undeclared namespace prefix and a 60,000-byte key a document that the
// reader refuses.
TEST_F(CommandLineParserTest, ArgumentsXMLLeavesOutKeysThatAreNoPlainBoundedXMLName) {
  const std::string longKey = "--" + std::string(60000, 'k') + "=v";
  const std::string limitKey = "--" + std::string(CommandLineParser::kMaxXmlKeyLength, 'm') + "=v";
  ASSERT_TRUE(parse({"app", "--a><x/><b=evil", "--1st=v", "--ok=fine", "--bell=\x07", "--ns:k=1",
                     longKey.c_str(), limitKey.c_str()}));
  ASSERT_TRUE(parser.hasArgument("a><x/><b")) << "the map keeps what was given";
  std::string xml;
  ASSERT_TRUE(parser.getArgumentsXML(xml));
  const std::string limit(CommandLineParser::kMaxXmlKeyLength, 'm');
  EXPECT_EQ(xml, "<CommandLineArguments>\n  <" + limit + ">v</" + limit +
                     ">\n  <ok>fine</ok>\n</CommandLineArguments>\n");
  XMLParser reader;
  EXPECT_TRUE(reader.initWithXMLString(xml));
}

}  // namespace
