#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/context/ApplicationContext.h"
#include "core/context/BundleResources.h"
#include "core/context/StandInParts.h"
#include "platform/system/ConsoleUser.h"
#include "services/OnlineServices.h"
#include "services/analytics/ETSWrapper.h"
#include "services/signin/IdraUserProfile.h"
#include "services/survey/SurveyManager.h"
#include "tests/support/Environment.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tools/testserver/TestServer.h"

namespace wendtest {

inline constexpr char kTestSecret[] = "client-secret-5f1e";

// Stand-in parts but for the online services, and the bundle's resources from a test folder.
class BundleFolderFactory final : public StandInPartsFactory {
 public:
  explicit BundleFolderFactory(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<IBundleResources> makeBundleResources() override {
    return std::make_unique<FolderBundleResources>(folder_);
  }

 private:
  std::string folder_;
};

// A private tree under WEND_ROOT with this process's user at the console, one loopback test server
// that WEND_SERVICE_BASE points every service at, and an application context built with the online
// services (and a sign-in client secret of the test's own). Every log records down to trace level
// ("ulex.trace"), so a scan of them sees every line the services and the connector write. The
// context is destroyed after every test.
class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    serviceBase_ = std::make_unique<ScopedEnv>("WEND_SERVICE_BASE", server_.url(""));
    mkdir((root_ / "tmp").c_str(), 0777);
    mkdir((root_ / "Resources").c_str(), 0755);
    writeFile(root_ / "Resources/config.xml",
              "<config><sapCode>KVRQ</sapCode><productName>Tarn</productName><mid>M-1</mid>"
              "<aid>A-2</aid><TallyVersion>7</TallyVersion><contextParams>{\"web\":1}"
              "</contextParams></config>");
    std::string logs;
    ASSERT_TRUE(platform::consoleUserLogsFolder(logs));
    logsFolder_ = logs;
    writeFile(logs + "/ulex.trace", "");
  }
  void TearDown() override { ApplicationContext::Destroy(); }

  // The context, initialised with these command-line arguments.
  ApplicationContext* startContext(std::vector<std::string> arguments = {}) {
    ApplicationContext::SetPartsFactory(
        withOnlineServices(std::make_unique<BundleFolderFactory>(root_ / "Resources"),
                           [](const std::string& environment, IdraHost& out) {
                             if (!idraHostFor(environment, out)) return false;
                             out.clientSecret = kTestSecret;
                             return true;
                           }));
    arguments.insert(arguments.begin(), "Install");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ApplicationContext* context = ApplicationContext::GetInstance();
    EXPECT_TRUE(context->Initialize(static_cast<int>(argv.size()), argv.data()));
    return context;
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

  TemporaryFolder root_;
  PrivateRootEnvironment environment_{root_.path()};
  testserver::TestServer server_{[] {
    testserver::TestServerSettings settings;
    settings.answerPost = true;
    return settings;
  }()};
  std::unique_ptr<ScopedEnv> serviceBase_;
  std::string logsFolder_;
};

}  // namespace wendtest
