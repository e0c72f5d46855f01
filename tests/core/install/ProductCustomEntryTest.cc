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
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "1"}, {"it's", "2"}, {"say \"it's\"", "3"}, {"' or '1'='1", ""}};
  for (const auto& [key, value] : cases) EXPECT_EQ(customEntryValue(parser, products, key), value);
}

}  // namespace
