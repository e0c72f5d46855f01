#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "foundation/xml/XMLParser.h"
#include "tests/services/support/ServicesFixture.h"
#include "tests/support/WaitUntil.h"

namespace wendtest {
namespace {

constexpr char kEventsPath[] = "/hsmessaging/rest";

// One received event: its parameters by name.
using EventParams = std::map<std::string, std::string>;

std::vector<EventParams> eventsIn(const std::string& body) {
  XMLParser document;
  std::vector<EventParams> events;
  int count = 0;
  if (!document.initWithXMLString(body)) return events;
  document.getNodeListForXQuery("/events/event[@name='CORVEL_SERVICE']", &count);
  for (int i = 1; i <= count; ++i) {
    const std::string event = "/events/event[" + std::to_string(i) + "]/param";
    std::vector<std::string> names, values;
    document.stringValueListForXQuery(event + "/@name", names, nullptr);
    document.stringValueListForXQuery(event, values, nullptr);
    EventParams& params = events.emplace_back();
    for (size_t p = 0; p < names.size() && p < values.size(); ++p) params[names[p]] = values[p];
  }
  return events;
}

class ETSWrapperTest : public ServicesTest {
 protected:
  // Every event the server accepted, in arrival order; requests it stalled are left out.
  std::vector<EventParams> delivered(unsigned firstRequest = 1) const {
    std::vector<EventParams> all;
    for (const auto& request : server_.requestsFor(kEventsPath)) {
      if (request.pathRequestNumber < firstRequest) continue;
      for (auto& event : eventsIn(request.body())) all.push_back(event);
    }
    return all;
  }

  void stallEvents(unsigned count) {
    testserver::Rule rule;
    rule.path = kEventsPath;
    rule.requestCount = count;
    rule.fault.kind = testserver::FaultKind::StallBeforeReply;
    server_.addRule(rule);
  }

  void SetUp() override {
    ServicesTest::SetUp();
    server_.addBody(kEventsPath, "ok");
  }
};

TEST_F(ETSWrapperTest, QuickEventsArriveInFewBatchesWithEveryCommonParameter) {
  startContext({"--locale=fr_FR", "--workflowId=WF-1", "--environment=STAGE"});
  auto analytics = ETSWrapper::getInstance();
  analytics->setVersionDownloading("9.1");
  analytics->setCountryCode("FR");
  for (int i = 0; i < 24; ++i) analytics->sendServiceEvent("event-" + std::to_string(i));
  analytics->sendServiceEventWithParams("odd <&> \"text\"", {{"extra", "a<b>&c"}});

  ASSERT_TRUE(waitUntil([&] { return delivered().size() >= 25; }));
  EXPECT_LE(server_.requestsFor(kEventsPath).size(), 3u);
  const auto events = delivered();
  ASSERT_EQ(events.size(), 25u);
  const std::string installerId = ETSWrapper::getWorkflowIDString(2);
  const EventParams common = {{"sessionId", ETSWrapper::getSessionID()},
                              {"userGuid", ""},
                              {"workflowId", "WF-1"},
                              {"installerWorkflowId", installerId},
                              {"sapCode", "KVRQ"},
                              {"productName", "Tarn"},
                              {"version", "9.1"},
                              {"bitness", std::to_string(sizeof(void*) * 8)},
                              {"locale", "fr_FR"},
                              {"countryCode", "FR"},
                              {"webContext", "{\"web\":1}"}};
  for (const auto& event : events) {
    for (const auto& [name, value] : common) EXPECT_EQ(event.at(name), value) << name;
  }
  EXPECT_EQ(events.front().at("eventType"), "event-0");
  EXPECT_EQ(events.back().at("eventType"), "odd <&> \"text\"");
  EXPECT_EQ(events.back().at("extra"), "a<b>&c");
  EXPECT_TRUE(std::regex_match(ETSWrapper::getSessionID(),
                               std::regex(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})")));
}

TEST_F(ETSWrapperTest, CarouselEventsGoOnceEachAndTheProxyModeEventAsOften) {
  startContext();
  auto analytics = ETSWrapper::getInstance();
  for (int i = 0; i < 3; ++i) {
    analytics->sendCarouselLoadEvent(true);
    analytics->sendCarouselLoadEvent(false);
  }
  analytics->sendProxyModeEvent();
  analytics->sendProxyModeEvent();
  ASSERT_TRUE(waitUntil([&] { return delivered().size() >= 4; }));
  std::multiset<std::string> types;
  for (const auto& event : delivered()) types.insert(event.at("eventType"));
  EXPECT_EQ(types, (std::multiset<std::string>{"lbs-carousel-load-start", "lbs-carousel-load-end",
                                               "lbs-proxy-mode", "lbs-proxy-mode"}));
}

TEST_F(ETSWrapperTest, InstallFatalErrorCarriesTheInstallResultParameters) {
  startContext();
  auto analytics = ETSWrapper::getInstance();
  analytics->setInstallResult(
      "<install_result><ets_params><param name=\"stage\">copy</param>"
      "<param name=\"errorCode\">forged</param></ets_params></install_result>");
  analytics->sendInstallFatalErrorEvent("PIM_STATUS_FILE_DELETE_ERROR");
  analytics->sendDownloadFatalErrorEvent("PIM_STATUS_DOWNLOAD_CANCELED", "0", true, "detail");
  ASSERT_TRUE(waitUntil([&] { return delivered().size() >= 2; }));
  const std::vector<EventParams> events = delivered();
  EXPECT_EQ(events[0].at("eventType"), "lbs-tarn-install-fatal-error");
  EXPECT_EQ(events[0].at("stage"), "copy");
  EXPECT_EQ(events[0].at("errorCode"), "PIM_STATUS_FILE_DELETE_ERROR");
  EXPECT_EQ(events[1].at("eventType"), "lbs-tarn-download-fatal-error");
  EXPECT_EQ(events[1].at("cancelled"), "true");
}

TEST_F(ETSWrapperTest, AStalledServiceKeepsTheNewestThousandEvents) {
  stallEvents(1);
  startContext();
  auto analytics = ETSWrapper::getInstance();
  for (int i = 1; i <= 1500; ++i) analytics->sendServiceEvent("e" + std::to_string(i));

  ASSERT_TRUE(waitUntil([&] { return server_.requestsFor(kEventsPath).size() >= 2; }));
  ASSERT_TRUE(waitUntil([&] { return delivered(2).size() >= 1000; }));
  const auto events = delivered(2);
  ASSERT_EQ(events.size(), 1000u);
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].at("eventType"), "e" + std::to_string(501 + i));
  }
}

TEST_F(ETSWrapperTest, DestroyInstanceAgainstAStalledServiceReturnsInTimeAndStaysGone) {
  stallEvents(0);
  startContext();
  auto analytics = ETSWrapper::getInstance();
  for (int i = 0; i < 10; ++i) analytics->sendServiceEvent("stalled");
  ASSERT_TRUE(waitUntil([&] { return !server_.requestsFor(kEventsPath).empty(); }));

  const auto start = std::chrono::steady_clock::now();
  ETSWrapper::destroyInstance();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
  EXPECT_EQ(ETSWrapper::getInstance(), nullptr);
  analytics->sendServiceEvent("after the end");
  analytics.reset();
  ApplicationContext::Destroy();
  EXPECT_EQ(ETSWrapper::getInstance(), nullptr);
  EXPECT_EQ(ApplicationContext::GetAnalytics(), nullptr);
}

TEST_F(ETSWrapperTest, TheContextsTeardownFlushesWhatIsQueued) {
  startContext();
  ETSWrapper::getInstance()->sendServiceEvent("last words");
  ApplicationContext::Destroy();
  const auto events = delivered();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].at("eventType"), "last words");
}

TEST_F(ETSWrapperTest, TheSessionIdIsProcessWideAndTheParentsWins) {
  const std::string made = ETSWrapper::getSessionID();
  EXPECT_EQ(ETSWrapper::getSessionID(), made);
  ETSWrapper::setSessionID("{PARENT}");
  EXPECT_EQ(ETSWrapper::getSessionID(), "{PARENT}");
  ETSWrapper::setSessionID("");
  EXPECT_NE(ETSWrapper::getSessionID(), made);
}

}  // namespace
}  // namespace wendtest
