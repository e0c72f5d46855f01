#include <gtest/gtest.h>

#include <filesystem>

#include "applets/AppletHostParts.h"
#include "applets/ProductFailure.h"
#include "core/context/StandInParts.h"
#include "foundation/text/CommandLineParser.h"
#include "foundation/xml/XMLParser.h"
#include "tests/applets/support/AppletFixture.h"

namespace wendtest {
namespace {

using testserver::FaultKind;
using testserver::Rule;

// Every file below `folder`, relative, in order.
std::vector<std::string> filesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored))
    if (!entry.is_directory()) files.push_back(std::filesystem::relative(entry.path(), folder));
  std::sort(files.begin(), files.end());
  return files;
}

testserver::Fault fault(FaultKind kind, uint64_t bytes = 0) {
  testserver::Fault out;
  out.kind = kind;
  out.bytes = bytes;
  return out;
}

class LoomIMMessageManagerTest : public AppletTest {};

TEST_F(LoomIMMessageManagerTest, InstallsEveryProductInOrderWithRisingProgressAndItsProductInfo) {
  serveProducts(productsXml({{"Alpha.1", servePackage("a.zip", {{"bin/a.txt", "alpha"}})},
                             {"beta_2", servePackage("b.zip", {{"b.txt", "beta"}})}}));
  writeFile(productsFolder() + "/beta_2", "older");  // an older copy, a file even
  ASSERT_EQ(start(), 0);
  expectDone();
  std::vector<ProgressReport> reports = ProgressRecorder::instance().reports();
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front().progress, 0);
  for (size_t i = 0; i + 1 < reports.size(); ++i) {
    EXPECT_EQ(reports[i].type, kAppsPanelProgress);
    EXPECT_GE(reports[i].progress, reports[i ? i - 1 : 0].progress);
  }
  EXPECT_EQ(reports[reports.size() - 2].progress, 100);

  const std::string products = productsFolder();
  EXPECT_EQ(filesBelow(products),
            (std::vector<std::string>{"Alpha.1/bin/a.txt", "Alpha.1/productInfo.xml",
                                      "beta_2/b.txt", "beta_2/productInfo.xml"}));
  EXPECT_EQ(readFile(products + "/Alpha.1/bin/a.txt"), "alpha");
  XMLParser info;
  ASSERT_TRUE(info.initWithXMLPath(products + "/beta_2/productInfo.xml"));
  EXPECT_TRUE(info.nodeExistsXQuery("/product_info[SAPCode='KVRQ'][locale='fr_FR']/actionList"));

  std::vector<testserver::LoggedRequest> requests = server().requests();
  std::vector<std::string> order;
  for (const auto& request : requests) {
    if (request.method() == "GET" && (order.empty() || order.back() != request.path()))
      order.push_back(request.path());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"/products", "/a.zip", "/b.zip"}));
  const testserver::LoggedRequest& document = requests.front();
  EXPECT_EQ(document.request.target,
            "/products?channel=ccm&_type=xml&productType=Desktop&payload=true&sapCode=KVRQ");
  EXPECT_EQ(document.header("x-orvel-app-id"), "SkyloomInstaller");
  EXPECT_EQ(document.header("Accept"), "application/xml");
  manager().FinalizeCore();
  EXPECT_FALSE(existsNoFollow(tempLocation() + "/LoomIM")) << "the work folder goes at the end";
}

TEST_F(LoomIMMessageManagerTest, ReportsDoneAtOnceWhenThereAreNoProducts) {
  serveProducts(productsXml({}));
  ASSERT_EQ(start(), 0);
  expectDone();
  EXPECT_TRUE(filesBelow(productsFolder()).empty());
}

TEST_F(LoomIMMessageManagerTest, RefusesToStartWithoutARecordACallbackOrALoadableConfiguration) {
  EXPECT_EQ(manager().StartWorkflow(nullptr), 1);
  ProductInstallArgs noCallback;
  noCallback.configXml = "<config/>";
  noCallback.tempLocation = "/tmp";
  EXPECT_EQ(manager().StartWorkflow(&noCallback), 1);
  EXPECT_EQ(start("this is not xml"), 1);
  EXPECT_TRUE(ProgressRecorder::instance().reports().empty());

  server().addRule(Rule{"/products", 1, 0, fault(FaultKind::StallBeforeReply)});
  ASSERT_EQ(start(), 0);
  EXPECT_EQ(start(), 1) << "one workflow at a time";
}

TEST_F(LoomIMMessageManagerTest, AMissingPackageIsAResumableHttpErrorAndRetryCompletesOnceMended) {
  serveProducts(productsXml({{"late", server().url("/late.zip")}}));
  ASSERT_EQ(start(), 0);
  expectError(applets::kErrorHttp, true);
  EXPECT_FALSE(existsNoFollow(productsFolder() + "/late"));

  action("continue");  // not an answer the installation knows
  servePackage("late.zip", {{"late.txt", "now here"}});
  action("retry");
  expectDone(1);
  EXPECT_EQ(readFile(productsFolder() + "/late/late.txt"), "now here");
  EXPECT_EQ(server().requestsFor("/products").size(), 1u) << "the document is fetched once";
}

TEST_F(LoomIMMessageManagerTest, ARefusedConnectionIsAResumableNetworkError) {
  testserver::TestServer closed;
  ASSERT_TRUE(closed.start());
  const std::string gone = closed.url("/gone.zip");
  closed.stop();
  for (bool documentToo : {false, true}) {
    SCOPED_TRACE(documentToo ? "document" : "package");
    ProgressRecorder::instance().clear();
    manager().FinalizeCore();
    serveProducts(productsXml({{"p", gone}}));
    std::string config = configXml();
    if (documentToo) config.replace(config.find(server().url("")), server().url("").size(), gone);
    ASSERT_EQ(start(config), 0);
    expectError(applets::kErrorNetworkUnavailable, true);
  }
}

// The installer core answers error 124 with a "retry" that carries the proxy credentials.
TEST_F(LoomIMMessageManagerTest, DownloadsThroughAProxyWithTheCredentialsItIsGiven) {
  ScopedEnv proxy{"http_proxy", server().url("")};
  ScopedEnv direct{"no_proxy", std::nullopt};
  server().setProxyCredentials("proxyuser:proxypass");
  serveProducts(productsXml({{"viaproxy", servePackage("p.zip", {{"p.txt", "proxied"}})}}));
  ASSERT_EQ(start(configXml(), "wrong"), 0);
  expectError(applets::kErrorProxyAuthentication, true);
  action("retry", "proxyuser", "proxypass");
  expectDone(1);
  EXPECT_EQ(readFile(productsFolder() + "/viaproxy/p.txt"), "proxied");
  EXPECT_TRUE(server().requests().back().request.absoluteForm);
}

TEST_F(LoomIMMessageManagerTest, CancelDuringASlowBodyStopsTheDownloadAndReports205) {
  std::string url = servePackage("big.zip", {{"big.bin", noise(200000)}});
  server().addRule(Rule{"/big.zip", 1, 0, fault(FaultKind::SlowBody, 2000)});
  serveProducts(productsXml({{"big", url}}));
  // The installer core answers 205 with a "cancel" of its own, from inside the callback.
  ProgressRecorder::instance().clear([this](const ProgressReport& report) {
    if (report.errorCode == applets::kErrorCancelled) action("cancel");
  });
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(requested("/big.zip", "GET")) << "the body is on its way";
  action("cancel");
  expectError(applets::kErrorCancelled, false);
  manager().FinalizeCore();
  EXPECT_FALSE(existsNoFollow(productsFolder() + "/big"));
  EXPECT_EQ(ProgressRecorder::instance().reports().back().errorCode, applets::kErrorCancelled)
      << "nothing after";
}

// FinalizeCore and the destructor both end a stalled download promptly, and silence the callback.
TEST_F(LoomIMMessageManagerTest, FinalizeDuringAStalledDownloadReturnsPromptlyAndSilencesTheRun) {
  for (bool byDestructor : {false, true}) {
    SCOPED_TRACE(byDestructor ? "destructor" : "FinalizeCore");
    manager_ = std::make_unique<LoomIMMessageManager>();  // the product's own waits
    server().clearLog();
    std::string url = servePackage("stall.zip", {{"s.bin", noise(100000)}});
    server().addRule(Rule{"/stall.zip", 1, 0, fault(FaultKind::StallAfterBytes, 1000)});
    serveProducts(productsXml({{"stall", url}}));
    ProgressRecorder::instance().clear();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(requested("/stall.zip", "GET"));
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(byDestructor ? (manager_.reset(), 0) : manager().FinalizeCore(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
    const size_t reported = ProgressRecorder::instance().reports().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ProgressRecorder::instance().reports().size(), reported);
    for (const ProgressReport& report : ProgressRecorder::instance().reports())
      EXPECT_NE(report.type, kAppsPanelError) << "a stop is no error";
    EXPECT_FALSE(existsNoFollow(productsFolder() + "/stall"));
  }
}

// Documents the installation must not act on: error 104, nothing fetched or written; a "cancel"
// while it waits for the answer reports 205.
TEST_F(LoomIMMessageManagerTest, HostileDocumentsGive104AndWriteNothing) {
  const std::string zip = servePackage("ok.zip", {{"ok.txt", "ok"}});
  // The reader's own table covers every check; one refusal after a good product shows that
  // nothing follows it.
  serveProducts(productsXml({{"ok", zip}, {"..", zip}}));
  ASSERT_EQ(start(), 0);
  expectError(applets::kErrorBadDocument, false);
  EXPECT_TRUE(server().requestsFor("/ok.zip").empty());
  EXPECT_TRUE(filesBelow(productsFolder()).empty());
  action("cancel");  // while the installation waits for an answer
  expectError(applets::kErrorCancelled, false, 1);
}

TEST_F(LoomIMMessageManagerTest, AZipThatClimbsOutGivesAnExtractionErrorAndWritesNothingOutside) {
  {
    ZipWriter zip(servedFolder() + "/climb.zip");
    zip.file("inside.txt", "in").file("../outside.txt", "out");
    ASSERT_TRUE(zip.close());
  }
  mkdir((productsFolder() + "/climb").c_str(), 0755);
  writeFile(productsFolder() + "/climb/old.txt", "older copy");
  serveProducts(productsXml({{"climb", server().url("/climb.zip")}}));
  ASSERT_EQ(start(), 0);
  expectError(applets::kErrorExtraction, true);
  EXPECT_EQ(filesBelow(productsFolder()), std::vector<std::string>{"climb/old.txt"})
      << "the older copy stays";
  for (const std::string& file : filesBelow(root_.path()))
    EXPECT_EQ(file.find("outside.txt"), std::string::npos) << file;
}

// The console user may swap their products folder for a link to any folder; root then neither
// makes products there nor swaps out and removes what was there.
TEST_F(LoomIMMessageManagerTest, AProductsFolderSwappedForALinkIsNeitherWrittenNorEmptied) {
  const std::string products = productsFolder();
  const std::string elsewhere = root_.path() + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((elsewhere + "/keep").c_str(), 0755), 0);
  writeFile(elsewhere + "/keep/old.txt", "root's own");
  ASSERT_EQ(rmdir(products.c_str()), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), products.c_str()), 0);
  serveProducts(productsXml({{"keep", servePackage("k.zip", {{"k.txt", "new"}})}}));
  ASSERT_EQ(start(), 0);
  expectError(applets::kErrorExtraction, true);
  EXPECT_EQ(filesBelow(elsewhere), std::vector<std::string>{"keep/old.txt"});
  EXPECT_EQ(readFile(elsewhere + "/keep/old.txt"), "root's own");
}

TEST(AppletHostPartsTest, BuildsTheManagerAndLeavesEveryOtherPartToTheInnerFactory) {
  auto parts = applets::withAppletHost(std::make_unique<StandInPartsFactory>());
  EXPECT_NE(dynamic_cast<LoomIMMessageManager*>(parts->makeAppletMessageManager().get()), nullptr);
  EXPECT_TRUE(parts->makeMessageGateway()->InitMessageGateway(CommandLineParser()));
}

}  // namespace
}  // namespace wendtest
