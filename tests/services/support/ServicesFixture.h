#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/ConsoleUser.h"
#include "services/OnlineServices.h"
#include "services/analytics/ETSWrapper.h"
#include "services/signin/IdraUserProfile.h"
#include "services/survey/SurveyManager.h"
#include "tests/core/context/support/ContextFixture.h"
#include "tools/testserver/TestServer.h"

namespace wendtest {

inline constexpr char kTestSecret[] = "client-secret-5f1e";

// The context's test tree with the online services (and a sign-in client secret of the test's
// own) and one loopback test server that WEND_SERVICE_BASE points every service at. Every log
// records down to trace level ("ulex.trace"), so a scan of them sees every line the services and
// the connector write.
class ServicesTest : public ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    ASSERT_TRUE(server_.start());
    serviceBase_ = std::make_unique<ScopedEnv>("WEND_SERVICE_BASE", server_.url(""));
    writeConfig(
        "<config><sapCode>KVRQ</sapCode><productName>Tarn</productName><mid>M-1</mid>"
        "<aid>A-2</aid><TallyVersion>7</TallyVersion><contextParams>{\"web\":1}"
        "</contextParams></config>");
    ASSERT_TRUE(platform::consoleUserLogsFolder(logsFolder_));
    writeFile(logsFolder_ + "/ulex.trace", "");
  }
  std::unique_ptr<IContextPartsFactory> parts() override {
    return withOnlineServices(ContextTest::parts(), [](const std::string& name, IdraHost& out) {
      if (!idraHostFor(name, out)) return false;
      out.clientSecret = kTestSecret;
      return true;
    });
  }

  // The context, initialised with these command-line arguments.
  ApplicationContext* startContext(std::vector<std::string> arguments = {}) {
    EXPECT_TRUE(initialize(std::move(arguments)));
    return ApplicationContext::GetInstance();
  }

  // Requests for `path` are answered with `status` from now on.
  void answerWith(const std::string& path, int status) {
    testserver::Rule rule;
    rule.path = path;
    rule.fault.kind = testserver::FaultKind::Status;
    rule.fault.status = status;
    server_.addRule(rule);
  }

  IdraUserProfile& profile() {
    return dynamic_cast<IdraUserProfile&>(*ApplicationContext::GetInstance()->userProfile);
  }
  SurveyManager& survey() {
    return dynamic_cast<SurveyManager&>(*ApplicationContext::GetInstance()->surveyManager);
  }

  // Every log file written under the console user's logs folder, concatenated.
  std::string allLogs() const {
    std::string text;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(logsFolder_)) {
      if (entry.is_regular_file()) text += readFile(entry.path().string());
    }
    return text;
  }

  testserver::TestServer server_{[] {
    testserver::TestServerSettings settings;
    settings.answerPost = true;
    return settings;
  }()};
  std::unique_ptr<ScopedEnv> serviceBase_;
  std::string logsFolder_;
};

}  // namespace wendtest
