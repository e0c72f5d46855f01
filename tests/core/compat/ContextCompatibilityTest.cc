#include <gtest/gtest.h>

#include <string>

#include "foundation/xml/XMLParser.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/WaitUntil.h"

namespace wendtest {
namespace {

constexpr char kProductsPath[] = "/orvel-ffc-external/core/v4/products/all";
constexpr char kEventsPath[] = "/hsmessaging/rest";

// The context's own check, on the real engine and the machine's real summary, with the products
// data and the analytics of the context talking to the test server.
class ContextCompatibilityTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    writeFile(root_ / "Resources/config.xml",
              "<config><sapCode>KVRQ</sapCode><version>4.2</version></config>");
    server_.addBody(kEventsPath, "ok");
    server_.addBody(
        kProductsPath,
        "<channels><channel><products><product version='4.2'><custom-data>"
        "<custom-entry key='systemRequirementURL'><value>https://req.example/sys</value>"
        "</custom-entry><custom-entry key='compatibilityCheckScript'><value>"
        "function checkCompatibility(client, summary) {"
        "  if (typeof JSON.parse(summary) !== 'object') return 'no summary';"
        "  return JSON.stringify({checkResult: 'fail', locale: JSON.parse(client).locale,"
        "                         failingList: [{type: 'ram'}, {type: 'os'}]});"
        "}</value></custom-entry></custom-data></product></products></channel></channels>");
  }

  // The "failing-param-type" of every fail event the server received.
  std::vector<std::string> failEvents() const {
    std::vector<std::string> types;
    for (const auto& request : server_.requestsFor(kEventsPath)) {
      XMLParser document;
      if (!document.initWithXMLString(request.body())) continue;
      std::vector<std::string> values;
      document.stringValueListForXQuery(
          "/events/event[param[@name='eventType']='lbs-compatibility-check-fail']"
          "/param[@name='failing-param-type']",
          values, nullptr);
      types.insert(types.end(), values.begin(), values.end());
    }
    return types;
  }
};

TEST_F(ContextCompatibilityTest, AFailReachesTheAnalyticsServiceWithTheFailedTypes) {
  ApplicationContext* context = startContext({"--locale=fr_FR"});
  CompatibilityCheck& check = *context->compatibilityCheck;
  ASSERT_TRUE(check.FetchHardwareSummary(true));
  ASSERT_TRUE(check.FetchCompatibilityCheckScript(true));
  std::string alert;
  bool warn = true;
  EXPECT_FALSE(check.CheckCompatibility(alert, warn));
  EXPECT_FALSE(warn);
  EXPECT_EQ(alert,
            "{\"checkResult\":\"fail\",\"failingList\":[{\"type\":\"ram\"},{\"type\":\"os\"}],"
            "\"locale\":\"fr_FR\",\"systemRequirementURL\":\"https://req.example/sys\"}\n");
  ASSERT_TRUE(waitUntil([&] { return !failEvents().empty(); }));
  EXPECT_EQ(failEvents(), std::vector<std::string>{"ram ,os"});
  EXPECT_EQ(server_.requestsFor(kProductsPath).size(), 1u);
}

}  // namespace
}  // namespace wendtest
