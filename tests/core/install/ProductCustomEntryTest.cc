#include <gtest/gtest.h>

#include <string>

#include "core/install/ProductCustomEntry.h"
#include "foundation/xml/XMLParser.h"

namespace {

TEST(ProductCustomEntry, KeysAreQuotedSoThatNoKeyChangesTheQuery) {
  XMLParser parser;
  ASSERT_TRUE(parser.initWithXMLString(
      "<channels><channel><products><product><custom-data>"
      "<custom-entry key='plain'><value>1</value></custom-entry>"
      "<custom-entry key=\"it's\"><value>2</value></custom-entry>"
      "<custom-entry key='say &quot;it&apos;s&quot;'><value>3</value></custom-entry>"
      "<custom-entry key='plain'><value>4</value></custom-entry>"
      "</custom-data></product></products></channel></channels>"));
  const std::string products = "/channels/channel/products/product";
  struct Case {
    std::string key, literal, value;
  };
  for (const Case& c : {
           Case{"plain", "'plain'", "1"},
           Case{"it's", "\"it's\"", "2"},
           Case{"say \"it's\"", "concat('say \"it',\"'\",'s\"')", "3"},
           Case{"' or '1'='1", "\"' or '1'='1\"", ""},
       }) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(xpathLiteral(c.key), c.literal);
    EXPECT_EQ(customEntryValue(parser, products, c.key), c.value);
  }
  EXPECT_EQ(customEntryXPath("/p", "k"), "/p/custom-data/custom-entry[@key='k']/value");
}

}  // namespace
