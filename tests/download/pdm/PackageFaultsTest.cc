#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "download/pdm/PDMImpl.h"
#include "tests/download/pdm/support/PackageSuite.h"
#include "tests/download/pdm/support/PdmRun.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestServer.h"

namespace pdm = orvel::PackageDownloadManager;
namespace fs = std::filesystem;

namespace {

// Every error code the manager maps, each reached by a real fault of the server, the network,
// the documents or the disk.
class PackageFaultsTest : public wendtest::PackageSuite {
 protected:
  static void SetUpTestSuite() {
    PackageSuite::SetUpTestSuite();
    testserver::TestServerSettings settings;
    settings.root = service_->www();  // the same files, with faults
    server_ = std::make_unique<testserver::TestServer>(settings);
    server_->start();
  }
  static void TearDownTestSuite() {
    server_.reset();
    PackageSuite::TearDownTestSuite();
  }
  void SetUp() override {
    PackageSuite::SetUp();
    ASSERT_NE(server_->port(), 0);
    server_->clearRules();
    server_->clearLog();
  }

  static std::string www(const std::string& relative) { return service_->www() + relative; }

  // A manifest of one asset (workflow 2).
  static std::string manifest(const std::string& assetURL, const std::string& validationURL,
                              uint64_t size, const std::string& type = "BINARY",
                              const std::string& actions = "") {
    return "<manifest><version>1.0</version><asset_list><asset><asset_type>" + type +
           "</asset_type><sequence_no>1</sequence_no><asset_size>" + std::to_string(size) +
           "</asset_size><asset_path>" + assetURL + "</asset_path><validation_data>" +
           validationURL + "</validation_data>" + actions + "</asset></asset_list></manifest>";
  }

  static void addFault(unsigned first, unsigned count, testserver::FaultKind kind, int status = 0) {
    testserver::Rule rule;
    rule.path = "/packages/bin/Sample.bin";
    rule.firstRequest = first;
    rule.requestCount = count;
    rule.fault.kind = kind;
    rule.fault.status = status;
    server_->addRule(rule);
  }

  static uint64_t sampleSize() { return fs::file_size(www("/packages/bin/Sample.bin")); }

  // The binary sample through the test server, its validation document from the service.
  pdm::PDMInitData binaryThroughTestServer(
      const std::string& validation = "/packages/bin/validation.xml") {
    return byText(manifest(server_->url("/packages/bin/Sample.bin"), service_->url(validation),
                           sampleSize()));
  }

  pdm::PDMInitData byText(const std::string& manifestText) {
    pdm::PDMInitData request;
    request.workflowId = pdm::kWorkflowPackageByText;
    request.initiatorData = manifestText;
    request.operationURL = folder_.path();
    return request;
  }

  pdm::PDMInitData singleFile(const std::string& url) {
    pdm::PDMInitData request;
    request.initiatorURL = url;
    request.operationURL = folder_.path();
    request.validateSignature = 0;
    return request;
  }

  // A validation document in the service's tree, from a template with fields replaced.
  static std::string writeValidation(const std::string& name,
                                     const std::map<std::string, std::string>& replace) {
    std::string text = wendtest::readFile(www("/packages/bin/validation.xml"));
    for (const auto& [from, to] : replace) {
      const size_t at = text.find(from);
      if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    wendtest::writeFile(www("/packages/bin/" + name), text);
    return "/packages/bin/" + name;
  }

  struct FaultCase {
    const char* fault;
    int32_t code;
    std::function<pdm::PDMInitData()> request;
  };

  // Runs the case to its end: the mapped code, the status that its retryable flag selects, the
  // tag that starts with the code, and one status event.
  pdm::PDMStatus check(const FaultCase& c) {
    SCOPED_TRACE(c.fault);
    wendtest::PdmRecorder recorder;
    pdm::PDMInitData request = c.request();
    request.intercept = &recorder;
    pdm::PDMImpl manager(wendtest::fastSettings());
    pdm::PDMStatus status;
    EXPECT_EQ(manager.init(request), 0);
    EXPECT_EQ(manager.start(), 0);
    const pdm::PDMProgress end = wendtest::waitForEnd(manager);
    manager.getStatus(status);
    EXPECT_EQ(status.errorCode, c.code);
    EXPECT_EQ(end.status, status.retryable ? pdm::kStatusPausedOnError : pdm::kStatusFatal);
    EXPECT_EQ(status.errorTag.rfind("P:" + std::to_string(c.code), 0), 0u) << status.errorTag;
    EXPECT_EQ(recorder.statuses().size(), 1u);
    return status;
  }

  static inline std::unique_ptr<testserver::TestServer> server_;
};

TEST_F(PackageFaultsTest, DocumentFaultsEndWithMinus3) {
  const std::string validation = service_->url("/packages/bin/validation.xml");
  const std::string asset = service_->url("/packages/bin/Sample.bin");
  const uint64_t size = sampleSize();
  const FaultCase cases[] = {
      {"manifest without a version", -3,
       [&] { return byText("<manifest><asset_list><asset/></asset_list></manifest>"); }},
      {"manifest without assets", -3,
       [&] { return byText("<manifest><version>1</version></manifest>"); }},
      {"manifest that is not XML", -3, [&] { return byText("<manifest><version>"); }},
      {"asset of an unknown type", -3,
       [&] { return byText(manifest(asset, validation, size, "TAR")); }},
      {"asset size other than the validation document's", -3,
       [&] { return byText(manifest(asset, validation, size + 1)); }},
      {"asset URL without a file name", -3,
       [&] { return byText(manifest(service_->url("/packages/bin/"), validation, size)); }},
      {"asset URL naming the parent folder", -3,
       [&] { return byText(manifest(service_->url("/packages/bin/.."), validation, size)); }},
      {"last segment longer than a segment", -3,
       [&] {
         const std::string path =
             writeValidation("v-last.xml", {{"<lastSegmentSize>4321", "<lastSegmentSize>999999"}});
         return byText(manifest(asset, service_->url(path), size));
       }},
      {"fewer segments than counted", -3,
       [&] {
         const std::string path =
             writeValidation("v-count.xml", {{"<segmentCount>6", "<segmentCount>7"}});
         return byText(manifest(asset, service_->url(path), size));
       }},
      {"segment size the engine would change", -3,
       [&] {
         // The same size in 4 KiB segments; the engine cuts at 64 KiB at least, so none would
         // ever match.
         const uint64_t count = (size + 4095) / 4096;
         std::string text =
             "<validationInfo><segmentSize>4096</segmentSize><algorithm>TYPE1</algorithm>"
             "<segmentCount>" +
             std::to_string(count) + "</segmentCount><lastSegmentSize>" +
             std::to_string(size - (count - 1) * 4096) + "</lastSegmentSize><segments>";
         for (uint64_t i = 1; i <= count; ++i) {
           text += "<segment segmentNumber=\"" + std::to_string(i) +
                   "\">00000000000000000000000000000000</segment>";
         }
         wendtest::writeFile(www("/packages/bin/v-small.xml"),
                             text + "</segments></validationInfo>");
         return byText(manifest(asset, service_->url("/packages/bin/v-small.xml"), size));
       }},
  };
  for (const FaultCase& c : cases) check(c);
}

TEST_F(PackageFaultsTest, TransferFaultsKeepTheEngineErrorOrMapIt) {
  server_->addGenerated("/huge.bin", 1ull << 50, 7);  // larger than any disk
  const FaultCase cases[] = {
      {"manifest missing on the server (404)", -4,
       [&] {
         pdm::PDMInitData request = singleFile(service_->url("/packages/none/manifest.xml"));
         request.workflowId = pdm::kWorkflowPackageByURL;
         return request;
       }},
      {"proxy authentication demanded (407)", -8,
       [&] {
         addFault(1, 0, testserver::FaultKind::Status, 407);
         return singleFile(server_->url("/packages/bin/Sample.bin"));
       }},
      {"a header the engine refuses", -10,
       [&] {
         pdm::PDMInitData request = singleFile(service_->url("/packages/bin/Sample.bin"));
         request.preferences.extraHeaders["X-Split"] = "a\r\nInjected: 1";
         return request;
       }},
      {"part of a file from a server without ranges", -15,
       [&] {
         addFault(1, 0, testserver::FaultKind::IgnoreRange);
         pdm::PDMInitData request = singleFile(server_->url("/packages/bin/Sample.bin"));
         request.preferences.downloadStartAddress = 1000;
         return request;
       }},
      {"a folder nobody may write to", -20,
       [&] {
         pdm::PDMInitData request = singleFile(service_->url("/packages/bin/Sample.bin"));
         request.operationURL = "/sys";  // sysfs refuses new files, root included
         return request;
       }},
      {"a file larger than the disk", -30, [&] { return singleFile(server_->url("/huge.bin")); }},
      {"connections reset", -45,
       [&] {
         addFault(1, 0, testserver::FaultKind::ResetAfterBytes);
         return singleFile(server_->url("/packages/bin/Sample.bin"));
       }},
      {"a network without a route", -50,
       [&] {
         // Linux refuses a TCP connection to the broadcast address at once: ENETUNREACH.
         return singleFile("http://255.255.255.255:9/Sample.bin");
       }},
      {"the target name already taken", -190,
       [&] {
         wendtest::writeFile(folder_ / "Sample.bin", "someone else's");
         return singleFile(service_->url("/packages/bin/Sample.bin"));
       }},
      {"credentials refused by the server (401)", -210,
       [&] {
         addFault(1, 0, testserver::FaultKind::Status, 401);
         return singleFile(server_->url("/packages/bin/Sample.bin"));
       }},
  };
  for (const FaultCase& c : cases) {
    if (std::string(c.fault).find("nobody") != std::string::npos && !wendtest::isFolder("/sys")) {
      continue;
    }
    const pdm::PDMStatus status = check(c);
    EXPECT_FALSE(status.errorURL.empty()) << c.fault;
    if (c.code == pdm::kPdmErrorTransfer) {
      EXPECT_EQ(status.errorTag, "P:-210,PS:401,G:-7");
    }
    server_->clearRules();
  }
  EXPECT_TRUE(logger_.has(pando::kLogInfo,
                          "File already exist. This should not happen because packages is "
                          "downloaded in new GUID folder and file is send by client so should not "
                          "be there already."));
}

TEST_F(PackageFaultsTest, AFileChangedWhilePausedEndsWithMinus210AndTheEnginesType) {
  // A slow generated file; while the transfer is paused the server gets another version.
  server_->addGenerated("/changing.bin", 4u << 20, 11);
  testserver::Rule slow;
  slow.path = "/changing.bin";
  slow.fault.kind = testserver::FaultKind::SlowBody;
  slow.fault.bytes = 256 * 1024;
  server_->addRule(slow);
  wendtest::PdmRecorder recorder;
  pdm::PDMInitData request = singleFile(server_->url("/changing.bin"));
  request.intercept = &recorder;
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(request), 0);
  ASSERT_EQ(manager.start(), 0);
  ASSERT_TRUE(wendtest::waitForPercent(manager, 1));
  manager.handleClientAction(pdm::PDMImpl::kActionPause);
  server_->addGenerated("/changing.bin", 4u << 20, 12);
  manager.handleClientAction(pdm::PDMImpl::kActionResume);
  const pdm::PDMProgress end = wendtest::waitForEnd(manager);
  pdm::PDMStatus status;
  manager.getStatus(status);
  EXPECT_EQ(status.errorCode, pdm::kPdmErrorTransfer);
  EXPECT_EQ(status.errorTag, "P:-210,PS:0,G:-55");
  EXPECT_EQ(status.errorURL, server_->url("/changing.bin"));
  EXPECT_EQ(end.status, status.retryable ? pdm::kStatusPausedOnError : pdm::kStatusFatal);
  EXPECT_FALSE(wendtest::existsNoFollow(folder_ / "changing.bin"));
}

// Whether the manager logged that its transfer failed fatally (once the phase says so).
bool fatalTransferLogged(const wendtest::CapturingLogger& logger) {
  for (const wendtest::Record& record : logger.records()) {
    if (record.level == pando::kLogError &&
        record.message.rfind("Fatal error has occured.", 0) == 0) {
      return true;
    }
  }
  return false;
}

// Whether thread `tid` of this process sleeps on a lock (a futex), as a thread waiting for a held
// mutex does.
bool waitsOnALock(pid_t tid) {
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  const std::string stat = wendtest::readFile(task + "/stat");
  const size_t close = stat.rfind(')');
  const std::string wchan = wendtest::readFile(task + "/wchan");
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S' &&
         (wchan == "0" || wchan.find("futex") != std::string::npos);
}

// The client's resume reaches the manager while the transfer has just failed fatally: the transfer
// starts over, and the run completes without reporting that failure.
TEST_F(PackageFaultsTest, AResumeAfterAFatalTransferErrorFetchesTheFileAgain) {
  // The asset's GETs hang until the client's part is played; a hung GET is soon given up.
  addFault(3, 0, testserver::FaultKind::StallBeforeReply);
  pdm::PDMSettings settings = wendtest::fastSettings();
  settings.engine.hangTimeout = std::chrono::milliseconds(300);
  pdm::PDMImpl manager(settings);
  std::thread client;
  std::atomic<pid_t> clientId{0};
  // On the manager's first step of the transfer, with its lock held: the file goes (a fatal 404),
  // comes back, and the client's resume queues behind the step.
  struct ResumeAfterFatal final : pdm::IPdmIntercept {
    std::function<void()> play;
    wendtest::PdmRecorder recorder;
    int32_t onEvent(const int32_t& event, const void* record, uint32_t size) override {
      if (play) std::exchange(play, nullptr)();
      return recorder.onEvent(event, record, size);
    }
  } intercept;
  intercept.play = [&] {
    server_->clearRules();
    addFault(1, 0, testserver::FaultKind::Status, 404);
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!fatalTransferLogged(logger_) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_->clearRules();
    client = std::thread([&] {
      clientId = gettid();
      manager.handleClientAction(pdm::PDMImpl::kActionResume);
    });
    EXPECT_TRUE(wendtest::waitUntil([&] { return clientId != 0 && waitsOnALock(clientId); }));
  };
  pdm::PDMInitData request = singleFile(server_->url("/packages/bin/Sample.bin"));
  request.intercept = &intercept;
  ASSERT_EQ(manager.init(request), 0);
  ASSERT_EQ(manager.start(), 0);
  const pdm::PDMProgress end = wendtest::waitForEnd(manager);
  if (client.joinable()) client.join();
  ASSERT_TRUE(fatalTransferLogged(logger_));
  EXPECT_EQ(end.status, pdm::kStatusComplete);
  EXPECT_TRUE(intercept.recorder.statuses().empty()) << "the failure was not the run's end";
  EXPECT_EQ(wendtest::readFile(folder_ / "Sample.bin"),
            wendtest::readFile(www("/packages/bin/Sample.bin")));
}

TEST_F(PackageFaultsTest, ValidationFaultsEndWithMinus60AndABrokenArchiveWithMinus230) {
  const uint64_t size = sampleSize();
  const FaultCase cases[] = {
      {"a segment that never matches its digest", -60,
       [&] {
         const std::string path =
             writeValidation("v-wrong.xml", {{"segmentNumber=\"3\">", "segmentNumber=\"3\">0"}});
         return binaryThroughTestServer(path);
       }},
      {"a file shorter by whole segments", -60,
       [&] {
         // Five whole segments of the sample: each matches, the sixth never comes.
         const std::string whole = wendtest::readFile(www("/packages/bin/Sample.bin"));
         wendtest::writeFile(www("/packages/bin/Short.bin"), whole.substr(0, 5 * 131072));
         return byText(manifest(service_->url("/packages/bin/Short.bin"),
                                service_->url("/packages/bin/validation.xml"), size));
       }},
      {"an archive that does not unpack", -230,
       [&] {
         const std::string extract =
             "<actions><action><name>extract</name><sequence_no>1</sequence_no></action>"
             "</actions>";
         return byText(manifest(service_->url("/packages/bin/Sample.bin"),
                                service_->url("/packages/bin/validation.xml"), size, "ZIP",
                                extract));
       }},
  };
  for (const FaultCase& c : cases) check(c);
}

TEST_F(PackageFaultsTest, ACorruptSegmentIsFetchedAgainAloneAndTheResultIsIdentical) {
  // The fourth request for the asset arrives with every byte inverted but the right head.
  addFault(4, 1, testserver::FaultKind::CorruptBody);
  pdm::PDMImpl manager(wendtest::fastSettings());
  ASSERT_EQ(manager.init(binaryThroughTestServer()), 0);
  ASSERT_EQ(manager.start(), 0);
  ASSERT_EQ(wendtest::waitForEnd(manager).status, pdm::kStatusComplete);
  EXPECT_EQ(wendtest::readFile(folder_ / "Sample.bin"),
            wendtest::readFile(www("/packages/bin/Sample.bin")));

  std::map<std::string, int> fetches;  // range -> GET requests
  std::string corrupted;
  for (const auto& request : server_->requestsFor("/packages/bin/Sample.bin")) {
    if (request.method() != "GET") continue;
    ++fetches[request.range()];
    if (request.pathRequestNumber == 4) corrupted = request.range();
  }
  ASSERT_FALSE(corrupted.empty()) << "the corrupted answer was not a ranged one";
  EXPECT_EQ(fetches[corrupted], 2) << corrupted;
  for (const auto& [range, count] : fetches) {
    if (range != corrupted) {
      EXPECT_EQ(count, 1) << range;
    }
  }
  EXPECT_GE(fetches.size(), 6u);
}

}  // namespace
