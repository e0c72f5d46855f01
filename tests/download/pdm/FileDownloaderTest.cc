#include <gtest/gtest.h>

#include <atomic>

#include "download/engine/DownloadGlobalData.h"
#include "download/engine/segments/Segment.h"
#include "download/pdm/FileDownloader.h"
#include "download/pdm/documents/ValidatorFactory.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/download/engine/support/ScriptedJob.h"
#include "tests/download/engine/support/TestServerFixture.h"
#include "tests/support/TemporaryFolder.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

using Phase = pdm::FileDownloader::Phase;

TEST(FileDownloaderTest, EventsWithoutDataChangeNothing) {
  pdm::FileDownloader downloader;
  gde::DLEProgress progress;
  progress.state = gde::kDleStateComplete;
  EXPECT_EQ(downloader.onEvent(gde::kEventProgress, nullptr, sizeof progress), -7);
  EXPECT_EQ(downloader.onEvent(gde::kEventProgress, &progress, 0), -7);
  EXPECT_EQ(downloader.getPhase(), Phase::kNoHandle);
}

TEST(FileDownloaderTest, AHandleThatCannotBeMadeIsRecordedWithoutOne) {
  pdm::FileDownloader downloader;  // never set up: no engine library to make a handle with
  EXPECT_FALSE(downloader.prepare());
  EXPECT_EQ(downloader.getPhase(), Phase::kNoHandle);
  EXPECT_EQ(downloader.getLastErrorType(), gde::kDleErrorJobCreation);
  EXPECT_FALSE(downloader.isLastErrorRetryable());
}

TEST(FileDownloaderTest, EngineEventsMoveThePhase) {
  struct Case {
    int32_t event;
    int32_t state;      // progress events
    uint8_t retryable;  // error events
    int32_t phase;
  };
  const Case cases[] = {
      {gde::kEventProgress, gde::kDleStateRunning, 0, Phase::kNoHandle},
      {gde::kEventProgress, gde::kDleStateComplete, 0, Phase::kComplete},
      {gde::kEventError, 0, 1, Phase::kRetryableError},
      {gde::kEventError, 0, 0, Phase::kFatalError},
  };
  for (const Case& c : cases) {
    pdm::FileDownloader downloader;
    gde::DLEProgress progress;
    progress.state = c.state;
    progress.bytesDownloaded = 10;
    gde::DLEErrorInfo error;
    error.errorType = gde::kDleErrorConnection;
    error.errorCode = 7;
    error.retryable = c.retryable;
    if (c.event == gde::kEventProgress) {
      EXPECT_EQ(downloader.onEvent(c.event, &progress, sizeof progress), 0);
    } else {
      EXPECT_EQ(downloader.onEvent(c.event, &error, sizeof error), 0);
      EXPECT_EQ(downloader.getLastErrorType(), gde::kDleErrorConnection);
      EXPECT_EQ(downloader.getLastErrorCode(), 7);
      EXPECT_EQ(downloader.isLastErrorRetryable(), c.retryable != 0);
    }
    EXPECT_EQ(downloader.getPhase(), c.phase);
  }
}

TEST(FileDownloaderTest, SegmentsAreCheckedOnlyAgainstAValidator) {
  wendtest::TemporaryFolder folder;
  // md5sum of "abcd".
  wendtest::writeFile(folder / "v.xml",
                      "<validationInfo><algorithm>TYPE1</algorithm><segmentSize>65536"
                      "</segmentSize><segmentCount>1</segmentCount><lastSegmentSize>4"
                      "</lastSegmentSize><segments><segment segmentNumber=\"1\">"
                      "e2fc714c4727ee9395f324cd2e7f331f</segment></segments></validationInfo>");
  auto validator = pdm::ValidatorFactory().createFromXML(folder / "v.xml");
  ASSERT_NE(validator, nullptr);
  uint8_t good[] = {'a', 'b', 'c', 'd'};
  uint8_t bad[] = {'a', 'b', 'c', 'e'};
  gde::SegmentEventRecord goodSegment{4, 0, good};
  gde::SegmentEventRecord badSegment{4, 0, bad};

  pdm::FileDownloader downloader;
  EXPECT_EQ(downloader.onEvent(gde::kEventSegmentReceived, &badSegment, sizeof badSegment), 0)
      << "without a validator every segment passes";
  gde::DLEPrefStruct preferences;
  downloader.setPreferences(preferences);
  EXPECT_EQ(downloader.setValidator(validator.get()), nullptr);
  EXPECT_EQ(downloader.onEvent(gde::kEventSegmentReceived, &goodSegment, sizeof goodSegment), 0);
  EXPECT_EQ(downloader.onEvent(gde::kEventSegmentReceived, &badSegment, sizeof badSegment),
            gde::IDleIntercept::kStopDelivery);
  EXPECT_EQ(downloader.setValidator(nullptr), validator.get());
}

// Passes every segment and counts the checks it was asked for.
class CountingValidator final : public pdm::ValidatorBase {
 public:
  CountingValidator() : ValidatorBase("COUNT", 0) {}
  bool validateSegment(const uint8_t*, uint32_t, uint32_t) const override {
    ++checks;
    return true;
  }
  bool getHashString(const uint8_t*, uint32_t, std::string&) const override { return false; }
  bool getSignatureStringOfData(const uint8_t*, uint32_t, uint8_t*, uint32_t&) const override {
    return false;
  }
  uint32_t getSegmentSize() const override { return 0x10000; }
  mutable std::atomic<int> checks{0};
};

class FileDownloaderServerTest : public TestServerFixture {};

TEST_F(FileDownloaderServerTest, APrepareRetriedOnTheSameHandleHearsEachEventOnce) {
  server().addGenerated("/file.bin", 3 * 0x10000, 5);
  pdm::FileDownloader downloader(gde::testing::quickSettings());
  CountingValidator validator;
  ASSERT_TRUE(downloader.setup(url("/file.bin"), scratch().path(), "a/b"));
  downloader.setValidator(&validator);
  EXPECT_FALSE(downloader.prepare()) << "a name that is no file name";
  ASSERT_EQ(downloader.getPhase(), Phase::kHandleCreated);
  ASSERT_TRUE(downloader.setup(url("/file.bin"), scratch().path(), "out.bin"));
  ASSERT_TRUE(downloader.prepare());
  ASSERT_TRUE(downloader.startDownload());
  ASSERT_TRUE(gde::testing::eventually([&] { return downloader.getPhase() == Phase::kComplete; }));
  EXPECT_EQ(validator.checks.load(), 3);
  downloader.reset();
}

}  // namespace
