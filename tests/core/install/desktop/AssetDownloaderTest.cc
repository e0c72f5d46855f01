#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/install/ApplicationsDocument.h"
#include "core/install/desktop/AssetDownloader.h"
#include "core/workflow/InstallerStatus.h"
#include "foundation/system/HardwareUtils.h"
#include "tests/core/install/support/FakeInstallWorkflow.h"
#include "tests/download/pdm/support/PackageService.h"
#include "tests/support/Environment.h"
#include "tools/testserver/TestServer.h"

namespace {

namespace fs = std::filesystem;

// One package service, one fault-injecting server and a private WEND_ROOT per suite; each test
// gets its own workflow (for the errors raised) and temp folder.
class AssetDownloaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<wendtest::TemporaryFolder>();
    setenv("WEND_ROOT", root_->path().c_str(), 1);
    service_ = std::make_unique<wendtest::PackageService>();
    server_ = std::make_unique<testserver::TestServer>();
    server_->start();
  }
  static void TearDownTestSuite() {
    server_.reset();
    service_.reset();
    root_.reset();
  }
  void SetUp() override { ASSERT_NE(service_->port(), 0) << "the package service did not start"; }

  AssetDownloader downloader(std::function<bool()> quitting = nullptr) {
    AssetDownloaderInputs inputs{rig_.config, rig_.proxy, temp_.path()};
    inputs.quitting = std::move(quitting);
    inputs.poll = std::chrono::milliseconds(10);
    inputs.manager.tick = std::chrono::milliseconds(20);
    return AssetDownloader(*rig_.workflow, std::move(inputs));
  }

  static inline std::unique_ptr<wendtest::TemporaryFolder> root_;
  static inline std::unique_ptr<wendtest::PackageService> service_;
  static inline std::unique_ptr<testserver::TestServer> server_;
  wendtest::InstallRig rig_;
  wendtest::TemporaryFolder temp_;
};

TEST_F(AssetDownloaderTest, PackageServiceUrlGolden) {
  rig_.config.set("packageServiceUrl", "https://packages.example.test/v1/applications");
  HardwareUtils::OSVersion os;
  HardwareUtils::GetCurrentOSVersion(os);
  const std::string version = std::to_string(os.majorVersion) + "." +
                              std::to_string(os.minorVersion) + "." +
                              std::to_string(os.patchVersion);
  EXPECT_EQ(downloader().resolvePackageServiceURL(),
            "https://packages.example.test/v1/applications?name=Skyloom&name=LoomLBS&osVersion=" +
                version + "&platform=osx10");
}

TEST_F(AssetDownloaderTest, ManagerErrorTable) {
  // Codes the table leaves out fall to the generic download error: a transfer failure without an
  // engine code of its own (-210) is no "server unresponsive" (207, the engine's connection
  // failures, -45), and a segment past its retries (-60) is an invalid file (205), not a data
  // validation error (214, the manager's documents, -3).
  const std::pair<int32_t, int> rows[] = {{0, 0},     {-3, 214},   {-230, 46}, {-9, 201},
                                          {-5, 201},  {-210, 201}, {-45, 207}, {-50, 206},
                                          {-60, 205}, {-190, 204}};
  for (const auto& [code, mapped] : rows) {
    EXPECT_EQ(AssetDownloader::mapManagerError(code), mapped) << code;
  }
}

TEST_F(AssetDownloaderTest, ServedDocumentAndLibraryPackageArrive) {
  rig_.config.set("packageServiceUrl", service_->url("/services/applications"));
  std::string path;
  ASSERT_TRUE(downloader().downloadApplicationXml(path));
  EXPECT_EQ(path, temp_.path() + "/applications.xml");
  TarnApplication application;
  ASSERT_TRUE(parseApplicationsXml(path, {"m", nullptr}, application));
  EXPECT_EQ(application.installerLibraryManifestUrl, service_->url("/packages/zip/manifest.xml"));

  const std::string work = temp_.path() + "/LoomLBS";
  fs::create_directory(work);
  ASSERT_TRUE(downloader().downloadPimPackage(application.installerLibraryManifestUrl, work));
  EXPECT_TRUE(fs::exists(work + "/SampleApp/bin/tool"));
  EXPECT_EQ(rig_.workflow->lastError(), 0);
}

TEST_F(AssetDownloaderTest, FailuresRaiseAWorkflowErrorBehindTheAlert) {
  // Which manager code a transfer failure gets is the engine's; the client raises its mapping:
  // a 500 is an HTTP failure without a retry rule (-210, 201), a refused connection a connection
  // failure (-45, 207).
  server_->addRule({"/gone", 1, 0, {testserver::FaultKind::Status, 500, -1, 0, "", 0}});
  for (const auto& [url, error] :
       {std::pair{server_->url("/gone"), 201},
        std::pair{std::string("http://127.0.0.1:1/services/applications"), 207}}) {
    SCOPED_TRACE(url);
    wendtest::InstallRig rig;
    rig.config.set("packageServiceUrl", url);
    AssetDownloaderInputs inputs{rig.config, rig.proxy, temp_.path()};
    inputs.poll = std::chrono::milliseconds(10);
    inputs.manager.engine.connectRetryWait = std::chrono::milliseconds(5);
    inputs.manager.engine.connectRetryWaitLimit = std::chrono::milliseconds(20);
    AssetDownloader client(*rig.workflow, std::move(inputs));
    std::string path;
    EXPECT_FALSE(client.downloadApplicationXml(path));
    EXPECT_EQ(rig.workflow->lastError(), error);
    EXPECT_EQ(rig.workflow->stateBlock().uiAction, code(UIAction::kBlocked));
  }
  // A manifest that is no manifest: the package download fails on its document.
  const std::string work = temp_.path() + "/work";
  fs::create_directory(work);
  EXPECT_FALSE(downloader().downloadPimPackage(service_->url("/packages/bin/Sample.bin"), work));
  EXPECT_EQ(rig_.workflow->lastError(), kStatusDownloadDataValidationError);
}

// A download whose folder cannot be made never starts: the plain error, no retry, no request.
TEST_F(AssetDownloaderTest, ADownloadThatCannotStartRaisesThePlainErrorAndSendsNothing) {
  const std::string file = temp_ / "file";
  wendtest::writeFile(file, "a file where a folder belongs");
  const std::string work = temp_ / "work";
  fs::create_directory(work);
  struct Row {
    const char* name;
    std::string tempFolder;  // the document's folder
    std::string root;        // below it, the library package's folder
    std::function<bool(AssetDownloader&)> download;
  };
  const Row rows[] = {
      {"the applications document", file + "/temp", root_->path(),
       [](AssetDownloader& client) {
         std::string path;
         return client.downloadApplicationXml(path);
       }},
      {"the library package", temp_.path(), file,
       [&](AssetDownloader& client) {
         return client.downloadPimPackage(server_->url("/manifest.xml"), work);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    wendtest::InstallRig rig;
    rig.config.set("packageServiceUrl", server_->url("/services/applications"));
    AssetDownloaderInputs inputs{rig.config, rig.proxy, row.tempFolder};
    inputs.poll = std::chrono::milliseconds(10);
    AssetDownloader client(*rig.workflow, std::move(inputs));
    wendtest::ScopedEnv root("WEND_ROOT", row.root);
    server_->clearLog();
    EXPECT_FALSE(row.download(client));
    EXPECT_EQ(rig.workflow->lastError(), kStatusError);
    EXPECT_EQ(rig.workflow->stateBlock().retryMode, 0);
    EXPECT_TRUE(server_->requests().empty());
  }
}

// "lbs/m.xml" reached libcurl, which looked "lbs" up as a host.
TEST_F(AssetDownloaderTest, OnlyAnAbsoluteHttpManifestUrlLeavesTheMachine) {
  const std::string work = temp_.path() + "/work";
  fs::create_directory(work);
  server_->clearLog();
  for (const std::string& url :
       {std::string("lbs/m.xml"), std::string("/packages/zip/manifest.xml"),
        "127.0.0.1:" + std::to_string(server_->port()) + "/m.xml",
        server_->url("/m.xml").replace(0, 4, "file"), std::string("")}) {
    wendtest::InstallRig rig;
    AssetDownloaderInputs inputs{rig.config, rig.proxy, temp_.path()};
    EXPECT_FALSE(AssetDownloader(*rig.workflow, std::move(inputs)).downloadPimPackage(url, work))
        << url;
    EXPECT_EQ(rig.workflow->lastError(), kStatusError) << url;
    EXPECT_EQ(rig.workflow->stateBlock().retryMode, 0) << url;
  }
  EXPECT_TRUE(server_->requests().empty());
}

TEST_F(AssetDownloaderTest, QuitEndsThePollWithoutAnError) {
  std::atomic<int> polls{0};
  const std::string work = temp_.path() + "/work";
  fs::create_directory(work);
  // The slow copy of the package takes many seconds; the quit comes at the third poll.
  EXPECT_FALSE(downloader([&] {
                 return ++polls >= 3;
               }).downloadPimPackage(service_->url("/packages/slowzip/manifest.xml"), work));
  EXPECT_EQ(polls.load(), 3);
  EXPECT_EQ(rig_.workflow->lastError(), 0);
}

}  // namespace
