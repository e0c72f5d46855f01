#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "download/engine/DownloadPlan.h"
#include "tests/download/engine/support/FolderFiles.h"

namespace gde {
namespace {

struct RangeCase {
  uint64_t start;
  uint64_t count;
  uint64_t size;
  bool singleStream;
  int32_t expected;
  DownloadPlan::ByteRange range;  // what the plan takes when it accepts
};

TEST(DownloadPlanTest, ChoosesTheByteRangeOrRefusesIt) {
  constexpr int32_t kOk = kDleErrorNone;
  const std::vector<RangeCase> cases = {
      {0, 0, 1000, false, kOk, {0, 1000}},
      {0, 1000, 1000, false, kOk, {0, 1000}},
      {100, 0, 1000, false, kOk, {100, 900}},
      {100, 200, 1000, false, kOk, {100, 200}},
      {100, 900, 1000, false, kOk, {100, 900}},
      {100, 901, 1000, false, kDleErrorMisuse, {}},
      {1000, 0, 1000, false, kDleErrorMisuse, {}},
      {990, UINT64_MAX - 5, 1000, false, kDleErrorMisuse, {}},  // start + count wraps
      {0, 0, 0, true, kOk, {0, 0}},
      {0, 1000, 1000, true, kOk, {0, 1000}},
      {0, 500, 1000, true, kDleErrorPartialDownloadImpossible, {}},
      {10, 0, 1000, true, kDleErrorPartialDownloadImpossible, {}},
  };
  for (const auto& c : cases) {
    DownloadPlan::ByteRange range{7, 7};
    EXPECT_EQ(DownloadPlan::chooseRange(c.start, c.count, c.size, c.singleStream, range),
              c.expected)
        << c.start << "+" << c.count << " of " << c.size;
    const DownloadPlan::ByteRange taken =
        c.expected == kOk ? c.range : DownloadPlan::ByteRange{7, 7};
    EXPECT_EQ(range.start, taken.start) << c.start << "+" << c.count << " of " << c.size;
    EXPECT_EQ(range.count, taken.count) << c.start << "+" << c.count << " of " << c.size;
  }
}

// A single stream is planned without asking the server anything: nothing listens on the URL.
class SingleStreamPlanTest : public ::testing::Test {
 protected:
  SingleStreamPlanTest() {
    for (auto& wait : settings_.fileCreateRetryWaits) wait = DownloadSettings::Millis{0};
  }

  DLEInputStruct request() const {
    DLEInputStruct input;
    input.serverfullpath = "http://127.0.0.1:1/package.bin";
    input.targetFolder = folder_ / "sub/";
    input.preferences.singleStream = 1;
    return input;
  }

  wendtest::TemporaryFolder folder_;
  DownloadSettings settings_;
  DownloadLedger ledger_;
  InterceptRegistry intercepts_;
  DownloadPlan plan_{settings_, EngineClock::steady(), HttpSettings{}, ledger_, intercepts_};
};

TEST_F(SingleStreamPlanTest, StartsAnEmptyPartialFileWithoutAMetaFileAndCleansUpItsFolder) {
  ASSERT_TRUE(plan_.init(request()));
  ASSERT_TRUE(plan_.initializeFileDownload());
  const std::string partial = plan_.preference().partialFilePath();
  EXPECT_TRUE(plan_.singleStreamRequested());
  EXPECT_EQ(plan_.rangeByteCount(), 0u);
  EXPECT_EQ(std::filesystem::file_size(partial), 0u);
  EXPECT_FALSE(std::filesystem::exists(plan_.preference().metaFilePath()));
  EXPECT_FALSE(plan_.keepsResumeRecords());

  plan_.close();
  EXPECT_TRUE(plan_.cleanup());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "sub"));
}

TEST_F(SingleStreamPlanTest, RefusesAPartOfTheFileBeforeCreatingAnything) {
  DLEInputStruct input = request();
  input.preferences.downloadStartAddress = 10;
  ASSERT_TRUE(plan_.init(input));
  EXPECT_FALSE(plan_.initializeFileDownload());
  EXPECT_EQ(ledger_.lastError().errorType, kDleErrorPartialDownloadImpossible);
  EXPECT_FALSE(std::filesystem::exists(plan_.preference().partialFilePath()));
}

// A meta file left by a run killed after its rename has no partial file: it goes with the refusal.
TEST_F(SingleStreamPlanTest, ATakenTargetFailsAtOnceAndDropsAStaleMetaFile) {
  ASSERT_TRUE(plan_.init(request()));
  std::filesystem::create_directories(folder_ / "sub");
  wendtest::writeFile(plan_.preference().finalFilePath(), "done");
  wendtest::writeFile(plan_.preference().metaFilePath(), "stale");
  EXPECT_FALSE(plan_.initializeFileDownload());
  EXPECT_EQ(ledger_.lastError().errorType, kDleErrorNameClash);
  EXPECT_FALSE(std::filesystem::exists(plan_.preference().metaFilePath()));
  EXPECT_EQ(wendtest::readFile(plan_.preference().finalFilePath()), "done");
}

}  // namespace
}  // namespace gde
