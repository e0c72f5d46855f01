#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "download/pdm/PDMImpl.h"
#include "download/pdm/PackageDownloader.h"
#include "tests/download/pdm/support/PackageSuite.h"
#include "tests/download/pdm/support/PdmRun.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace pdm = orvel::PackageDownloadManager;
namespace fs = std::filesystem;
using wendtest::PdmRecorder;

namespace {

class PackageDownloaderTest : public wendtest::PackageSuite {
 protected:
  pdm::PDMInitData packageRequest(const std::string& manifestPath) {
    pdm::PDMInitData request;
    request.workflowId = pdm::kWorkflowPackageByURL;
    request.initiatorURL = service_->url(manifestPath);
    request.operationURL = folder_ / "installed";
    request.intercept = &recorder_;
    return request;
  }

  pdm::PDMInitData binaryPackageByText() {
    pdm::PDMInitData request;
    request.workflowId = pdm::kWorkflowPackageByText;
    request.baseURL = service_->url("/");
    request.initiatorData = wendtest::readFile(service_->www() + "/packages/bin/manifest.xml");
    request.operationURL = folder_.path();
    request.intercept = &recorder_;
    return request;
  }

  // Every entry of the sample application arrived with its bytes, mode or link target.
  void expectSampleExtracted(const std::string& destination) {
    const fs::path source = fs::path(service_->source()) / "SampleApp";
    int entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
      const fs::path copy =
          destination / fs::path("SampleApp") / entry.path().lexically_relative(source);
      ++entries;
      if (entry.is_symlink()) {
        ASSERT_TRUE(fs::is_symlink(copy)) << copy;
        EXPECT_EQ(fs::read_symlink(copy), fs::read_symlink(entry.path()));
      } else if (entry.is_regular_file()) {
        EXPECT_EQ(wendtest::readFile(copy), wendtest::readFile(entry.path())) << copy;
        EXPECT_EQ(fs::status(copy).permissions(), entry.status().permissions()) << copy;
      }
    }
    EXPECT_GE(entries, 5);
  }

  PdmRecorder recorder_;
};

TEST_F(PackageDownloaderTest, Workflow0FetchesManifestValidationAndArchiveAndExtractsIt) {
  {
    pdm::PDMImpl manager(wendtest::fastSettings());
    ASSERT_EQ(manager.init(packageRequest("/packages/zip/manifest.xml")), 0);
    ASSERT_EQ(manager.start(), 0);
    const pdm::PDMProgress end = wendtest::waitForEnd(manager);
    ASSERT_EQ(end.status, pdm::kStatusComplete);
    EXPECT_EQ(end.percent, 100);
    EXPECT_EQ(end.assetSize, fs::file_size(service_->www() + "/packages/zip/Sample.zip"));
    // While the run is under way the operation folder lies in the temporary folder.
    EXPECT_FALSE(fs::is_empty(root_->path() + "/tmp"));
  }
  // Weighted: 5 for the manifest, 5 for the validation document, 70 for the archive, 20 for
  // the extraction. The manifest's size is never asked for: while it arrives the percent is 0.
  const std::vector<int32_t> percents = recorder_.percents();
  ASSERT_FALSE(percents.empty());
  EXPECT_LE(percents.front(), 5);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  for (int32_t step : {5, 10, 80, 100}) {
    EXPECT_NE(std::find(percents.begin(), percents.end(), step), percents.end()) << step;
  }
  // The extraction reports only its end.
  EXPECT_TRUE(
      std::none_of(percents.begin(), percents.end(), [](int32_t p) { return p > 80 && p < 100; }));
  EXPECT_TRUE(recorder_.statuses().empty());
  expectSampleExtracted(folder_ / "installed");
  // Destroying the manager removes the operation folder of workflow 0.
  EXPECT_TRUE(fs::is_empty(root_->path() + "/tmp"));
}

// A run that was killed leaves its operation folder behind; the next run removes it, but only a
// folder that is provably such a leftover: UUID-named, a folder (no link), the running user's,
// with a lock file that no live run holds.
TEST_F(PackageDownloaderTest, AStartRemovesTheOperationFoldersThatKilledRunsLeft) {
  const fs::path temp = root_->path() + "/tmp";
  fs::create_directories(temp);
  auto leftover = [&](const std::string& name, bool lockFile) {
    fs::create_directory(temp / name);
    wendtest::writeFile(temp / name / "manifest.xml", "<left/>");
    if (lockFile) wendtest::writeFile(temp / name / ".operation.lock", "");
    return temp / name;
  };
  const fs::path killed = leftover("0F0F0F0F-0000-4000-8000-000000000001", true);
  const std::vector<fs::path> kept = {
      leftover("0F0F0F0F-0000-4000-8000-000000000002", true),   // held by a live run
      leftover("0F0F0F0F-0000-4000-8000-000000000003", false),  // no lock file: nothing proves it
      leftover("not-an-operation", true),
      leftover("0F0F0F0F-0000-4000-8000-000000000004", true),  // another user's, where possible
      temp / "0F0F0F0F-0000-4000-8000-000000000005",           // a link to a leftover
      leftover("linked", true)};
  fs::create_directory_symlink(kept[5], kept[4]);
  const bool otherUser = ::chown(kept[3].c_str(), 65534, 65534) == 0;
  const int live = ::open((kept[0] / ".operation.lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
  {
    pdm::PDMImpl manager(wendtest::fastSettings());
    ASSERT_EQ(manager.init(packageRequest("/packages/zip/manifest.xml")), 0);
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(wendtest::waitForEnd(manager).status, pdm::kStatusComplete);
  }
  ::close(live);
  EXPECT_FALSE(fs::exists(killed));
  for (const fs::path& path : kept) {
    if (path == kept[3] && !otherUser) continue;
    EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path;
    EXPECT_TRUE(fs::is_symlink(path) || fs::exists(path / "manifest.xml")) << path;
  }
  for (const fs::path& path : kept) fs::remove_all(path);
}

TEST_F(PackageDownloaderTest, Workflow1FetchesTheApplicationsDocumentAtAURLWithAQuery) {
  pdm::PDMImpl manager(wendtest::fastSettings());
  pdm::PDMInitData request;
  request.initiatorURL = service_->url("/services/applications?locale=en_US&platform=osx");
  request.operationURL = folder_ / "lists/new";  // made by the manager
  request.targetFileName = "applications.xml";
  request.validateSignature = 0;
  request.intercept = &recorder_;
  ASSERT_EQ(manager.init(request), 0);
  ASSERT_EQ(manager.start(), 0);
  const pdm::PDMProgress end = wendtest::waitForEnd(manager);
  ASSERT_EQ(end.status, pdm::kStatusComplete);
  EXPECT_EQ(end.percent, 100);
  EXPECT_EQ(wendtest::readFile(folder_ / "lists/new/applications.xml"),
            wendtest::readFile(service_->www() + "/services/applications.xml"));
}

TEST_F(PackageDownloaderTest, Workflow2FetchesARelativeBinaryAssetThenFindsItAlreadyThere) {
  const std::string original = wendtest::readFile(service_->www() + "/packages/bin/Sample.bin");
  {
    pdm::PDMImpl manager(wendtest::fastSettings());
    ASSERT_EQ(manager.init(binaryPackageByText()), 0);
    ASSERT_EQ(manager.start(), 0);
    ASSERT_EQ(wendtest::waitForEnd(manager).status, pdm::kStatusComplete);
  }
  EXPECT_EQ(wendtest::readFile(folder_ / "Sample.bin"), original);

  // A valid copy in the operation folder: no transfer, the percent jumps from 5 to 100.
  const int fetched = service_->requestCount("/packages/bin/Sample.bin");
  PdmRecorder second;
  pdm::PDMInitData request = binaryPackageByText();
  request.intercept = &second;
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(request), 0);
  ASSERT_EQ(manager.start(), 0);
  ASSERT_EQ(wendtest::waitForEnd(manager).status, pdm::kStatusComplete);
  const std::vector<int32_t> jump = second.percents();
  ASSERT_GE(jump.size(), 2u);
  EXPECT_EQ(jump[jump.size() - 2], 5);
  EXPECT_EQ(jump.back(), 100);
  EXPECT_EQ(service_->requestCount("/packages/bin/Sample.bin"), fetched);
  EXPECT_TRUE(logger_.has(pando::kLogInfo, "Asset is already downloaded and validated at '" +
                                               (folder_ / "Sample.bin") + "'"));
}

TEST_F(PackageDownloaderTest, Workflow2ReplacesAnInvalidCopyButNeverDeletesAFolderInTheWay) {
  wendtest::writeFile(folder_ / "Sample.bin", "stale");
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(binaryPackageByText()), 0);
  ASSERT_EQ(manager.start(), 0);
  ASSERT_EQ(wendtest::waitForEnd(manager).status, pdm::kStatusComplete);
  EXPECT_EQ(wendtest::readFile(folder_ / "Sample.bin"),
            wendtest::readFile(service_->www() + "/packages/bin/Sample.bin"));

  wendtest::TemporaryFolder other;
  fs::create_directory(other / "Sample.bin");
  wendtest::writeFile(other / "Sample.bin/keep", "mine");
  pdm::PDMInitData request = binaryPackageByText();
  request.operationURL = other.path();
  pdm::PDMImpl blocked(wendtest::fastSettings());
  ASSERT_EQ(blocked.init(request), 0);
  ASSERT_EQ(blocked.start(), 0);
  EXPECT_EQ(wendtest::waitForEnd(blocked).status, pdm::kStatusFatal);
  EXPECT_EQ(wendtest::readFile(other / "Sample.bin/keep"), "mine");
}

TEST_F(PackageDownloaderTest, TheLastAssetListedIsFetchedAndAPathIsPutAfterTheManifestsFolder) {
  // The second asset's path has no scheme: it goes after the manifest URL's folder as it stands.
  fs::create_directories(service_->www() + "/packages/rel");
  fs::copy_file(service_->www() + "/packages/bin/Sample.bin",
                service_->www() + "/packages/rel/Sample.bin");
  const std::string validation = service_->url("/packages/bin/validation.xml");
  const std::string size =
      std::to_string(fs::file_size(service_->www() + "/packages/bin/Sample.bin"));
  wendtest::writeFile(
      service_->www() + "/packages/rel/manifest.xml",
      "<manifest><version>2</version><asset_list>"
      "<asset><asset_type>BINARY</asset_type><sequence_no>1</sequence_no><asset_size>1"
      "</asset_size><asset_path>http://127.0.0.1:1/never.bin</asset_path><validation_data>"
      "http://127.0.0.1:1/never.xml</validation_data></asset>"
      "<asset><asset_type>BINARY</asset_type><sequence_no>2</sequence_no><asset_size>" +
          size + "</asset_size><asset_path>/Sample.bin</asset_path><validation_data>" + validation +
          "</validation_data></asset></asset_list></manifest>");
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(packageRequest("/packages/rel/manifest.xml")), 0);
  ASSERT_EQ(manager.start(), 0);
  const pdm::PDMProgress end = wendtest::waitForEnd(manager);
  EXPECT_EQ(end.status, pdm::kStatusComplete);
  EXPECT_EQ(std::to_string(end.assetSize), size);
  EXPECT_GT(service_->requestCount("/packages/rel/Sample.bin"), 0);
}

TEST_F(PackageDownloaderTest, SignatureCheckOfWorkflow1AcceptsOnlyTheMakersSignature) {
  wendtest::ScopedEnv tool("WEND_TOOL_CODESIGN", std::string(WEND_CODESIGN_TOOL));
  wendtest::ScopedEnv trust("WEND_CODESIGN_TRUST",
                            std::string(WEND_CODESIGN_TESTKEYS) + "/trusted.pem");
  const std::string keys = WEND_CODESIGN_TESTKEYS;
  struct Case {
    const char* name;
    const char* identity;  // null: unsigned
    int32_t status;
    int32_t code;
  };
  const Case cases[] = {
      {"Orvel.bin", "orvel", pdm::kStatusComplete, 0},
      {"Other.bin", "other", pdm::kStatusFatal, pdm::kPdmErrorSignature},
      {"Rogue.bin", "rogue", pdm::kStatusFatal, pdm::kPdmErrorSignature},
      {"Unsigned.bin", nullptr, pdm::kStatusFatal, pdm::kPdmErrorSignature},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string served = service_->www() + "/packages/bin/" + c.name;
    fs::copy_file(service_->www() + "/packages/bin/Sample.bin", served,
                  fs::copy_options::overwrite_existing);
    if (c.identity != nullptr) {
      const std::string identity = keys + "/" + c.identity;
      ASSERT_TRUE(
          wendtest::runProgram({WEND_CODESIGN_SIGN, "--key", identity + ".key", "--cert",
                                identity + ".pem", "--chain", keys + "/chain.pem", served}));
    }
    chmod(served.c_str(), 0644);
    pdm::PDMImpl manager(wendtest::fastSettings());
    pdm::PDMInitData request;
    request.initiatorURL = service_->url(std::string("/packages/bin/") + c.name);
    request.operationURL = folder_.path();
    ASSERT_EQ(manager.init(request), 0);
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(wendtest::waitForEnd(manager).status, c.status);
    pdm::PDMStatus status;
    manager.getStatus(status);
    EXPECT_EQ(status.errorCode, c.code);
  }
}

TEST_F(PackageDownloaderTest, PauseAndResumeMidTransferStillYieldTheWholePackage) {
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(packageRequest("/packages/slowzip/manifest.xml")), 0);
  ASSERT_EQ(manager.start(), 0);
  ASSERT_TRUE(wendtest::waitForPercent(manager, 11));  // the archive is arriving
  manager.handleClientAction(pdm::PDMImpl::kActionPause);
  EXPECT_EQ(manager.getStatusWord(), pdm::kStatusRunning);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  manager.handleClientAction(pdm::PDMImpl::kActionResume);
  const pdm::PDMProgress end = wendtest::waitForEnd(manager);
  ASSERT_EQ(end.status, pdm::kStatusComplete);
  EXPECT_EQ(end.percent, 100);
  expectSampleExtracted(folder_ / "installed");
  EXPECT_TRUE(logger_.has(pando::kLogInfo, "Download Paused"));
}

TEST_F(PackageDownloaderTest, CancelAndDestructionMidTransferEndPromptly) {
  for (bool destroyOnly : {false, true}) {
    SCOPED_TRACE(destroyOnly ? "destroyed" : "cancelled");
    auto manager = std::make_unique<pdm::PDMImpl>(wendtest::fastSettings());
    ASSERT_EQ(manager->init(packageRequest("/packages/slowzip/manifest.xml")), 0);
    ASSERT_EQ(manager->start(), 0);
    ASSERT_TRUE(wendtest::waitForPercent(*manager, 11));
    const auto began = std::chrono::steady_clock::now();
    if (!destroyOnly) {
      EXPECT_EQ(manager->cancel(), 0);
      pdm::PDMProgress progress;
      manager->getProgress(progress);
      EXPECT_EQ(progress.status, pdm::kStatusIdle);
      EXPECT_LT(progress.percent, 80);
      EXPECT_EQ(manager->start(), 0) << "a cancelled run may be started again";
    }
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20));
  }
}

TEST_F(PackageDownloaderTest, StartIsRefusedWhileRunningAndFailsWhenItCannotPrepare) {
  pdm::PDMImpl notInitialised;
  EXPECT_EQ(notInitialised.start(), pdm::kPdmNotInitialized);
  EXPECT_EQ(notInitialised.cancel(), pdm::kPdmNotInitialized);

  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(packageRequest("/packages/slowzip/manifest.xml")), 0);
  ASSERT_EQ(manager.start(), 0);
  // Running from the moment start returns, whatever the thread has done yet.
  EXPECT_EQ(manager.getStatusWord(), pdm::kStatusRunning);
  EXPECT_EQ(manager.start(), pdm::kPdmAlreadyRunning);
  EXPECT_TRUE(logger_.has(pando::kLogInfo, "PDM is either running already or closed"));

  // No operation folder (workflow 2) and a URL without a file name (workflow 1): nothing starts.
  pdm::PDMInitData missingFolder = binaryPackageByText();
  missingFolder.operationURL = folder_ / "absent";
  pdm::PDMInitData noName;
  noName.initiatorURL = service_->url("/packages/bin/");
  noName.operationURL = folder_.path();
  for (const pdm::PDMInitData& request : {missingFolder, noName}) {
    pdm::PDMImpl refused(wendtest::fastSettings());
    ASSERT_EQ(refused.init(request), 0);
    EXPECT_EQ(refused.start(), pdm::kPdmFailed);
    EXPECT_EQ(refused.getStatusWord(), pdm::kStatusIdle);
  }
  EXPECT_FALSE(fs::exists(folder_ / "absent"));
}

TEST_F(PackageDownloaderTest, InitChecksTheRequestOfItsOwnWorkflow) {
  struct Case {
    int32_t workflow;
    const char* initiatorURL;
    const char* operationURL;
    const char* initiatorData;
    int32_t result;
    const char* message;
  };
  const Case cases[] = {
      {0, "", "/x", "", -10, "Failed to Init PDM instance as the initiator URL is empty"},
      {1, "", "/x", "", -10, "Failed to Init PDM instance as the initiator URL is empty"},
      {0, "http://h/m", "", "", -10, "Failed to Init PDM instance as the operation URL is empty"},
      {2, "", "/x", "", -10, "Failed to Init PDM instance as the initiator data is empty"},
      {2, "", "/x", "<manifest/>", 0, nullptr},
      {1, "http://h/f", "/x", "", 0, nullptr},
  };
  for (const Case& c : cases) {
    pdm::PDMImpl manager;
    pdm::PDMInitData request;
    request.workflowId = c.workflow;
    request.initiatorURL = c.initiatorURL;
    request.operationURL = c.operationURL;
    request.initiatorData = c.initiatorData;
    logger_.clear();
    EXPECT_EQ(manager.init(request), c.result) << c.message;
    if (c.message) {
      EXPECT_TRUE(logger_.has(pando::kLogError, c.message));
    }
  }
}

TEST_F(PackageDownloaderTest, AnUnknownWorkflowCompletesWithoutATransfer) {
  pdm::PackageDownloader downloader(wendtest::fastSettings());
  pdm::PDMInitData request;
  request.workflowId = 7;
  request.initiatorURL = service_->url("/never");
  request.operationURL = folder_.path();
  ASSERT_EQ(downloader.init(request), 0);
  ASSERT_EQ(downloader.start(), 0);
  const pdm::PDMProgress progress = wendtest::pollProgress(
      downloader, [](const auto& p) { return p.status == pdm::kStatusComplete; },
      std::chrono::seconds(5));
  EXPECT_EQ(progress.status, pdm::kStatusComplete);
  EXPECT_EQ(progress.percent, -1);
  EXPECT_EQ(service_->requestCount("/never"), 0);
}

}  // namespace
