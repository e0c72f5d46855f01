#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "download/pdm/common/PDMLogger.h"
#include "download/pdm/documents/AssetFactory.h"
#include "download/pdm/documents/MD5Validator.h"
#include "download/pdm/documents/ValidatorFactory.h"
#include "foundation/system/DiskImage.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"

namespace pdm = orvel::PackageDownloadManager;

namespace {

// Digests from md5sum, not from the code under test.
constexpr const char* kAbcd = "e2fc714c4727ee9395f324cd2e7f331f";
constexpr const char* kEfgh = "1f7690ebdd9b4caf8fab49ca1757bf27";
constexpr const char* kIj = "7bed657a775c37c2570786d0cbeefd88";

class DocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override { pdm::PDMLogger::instance().setLogger(&logger_, "Bootstrapper"); }
  void TearDown() override { pdm::PDMLogger::instance().setLogger(nullptr, ""); }

  std::unique_ptr<pdm::AssetBase> asset(const std::string& inner) {
    return pdm::AssetFactory().createAsset("<asset>" + inner + "</asset>", "http://base/");
  }

  // A validation document for "abcdefghij" in segments of 4, with the segments given.
  std::unique_ptr<pdm::ValidatorBase> validator(const std::string& segments,
                                                const std::string& sizes =
                                                    "<segmentSize>4</segmentSize><segmentCount>3"
                                                    "</segmentCount><lastSegmentSize>2"
                                                    "</lastSegmentSize>") {
    wendtest::writeFile(folder_ / "validation.xml",
                        "<validationInfo><version>1.0</version><algorithm>TYPE1</algorithm>" +
                            sizes + "<segments>" + segments + "</segments></validationInfo>");
    return pdm::ValidatorFactory().createFromXML(folder_ / "validation.xml");
  }

  static std::string segment(int number, const char* digest) {
    return "<segment segmentNumber=\"" + std::to_string(number) + "\">" + digest + "</segment>";
  }

  static bool check(const pdm::ValidatorBase& v, const std::string& bytes, uint32_t index) {
    return v.validateSegment(reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()), index);
  }

  wendtest::CapturingLogger logger_;
  wendtest::TemporaryFolder folder_;
};

constexpr const char* kMinimal =
    "<asset_type>BINARY</asset_type><sequence_no>1</sequence_no><asset_size>10</asset_size>";

TEST_F(DocumentsTest, AssetURLsPreferTheRelativeFormsAfterTheBaseURL) {
  auto both = asset(std::string(kMinimal) +
                    "<asset_rel_path>p/a.bin</asset_rel_path><asset_path>http://x/a.bin"
                    "</asset_path><validation_data_rel_url>p/v.xml</validation_data_rel_url>"
                    "<validation_data>http://x/v.xml</validation_data>");
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->getAssetURL(), "http://base/p/a.bin");
  EXPECT_EQ(both->getValidationDataURL(), "http://base/p/v.xml");
  auto absolute = asset(std::string(kMinimal) +
                        "<asset_path>http://x/a.bin</asset_path><validation_data>/v.xml"
                        "</validation_data>");
  ASSERT_NE(absolute, nullptr);
  EXPECT_EQ(absolute->getAssetURL(), "http://x/a.bin");
  EXPECT_EQ(absolute->getValidationDataURL(), "/v.xml");
  EXPECT_EQ(absolute->getAssetSize(), 10u);
}

TEST_F(DocumentsTest, AssetsMissingARequiredPartAreRejectedWithTheirReason) {
  const std::string urls = "<asset_path>a</asset_path><validation_data>v</validation_data>";
  struct Case {
    std::string inner;
    const char* warning;
  };
  const Case cases[] = {
      {"<asset_type>BINARY</asset_type><sequence_no>1</sequence_no><asset_size>1</asset_size>"
       "<validation_data>v</validation_data>",
       "Neither relative nor absolute Asset path not found for asset."},
      {"<asset_type>BINARY</asset_type><sequence_no>1</sequence_no><asset_size>1</asset_size>"
       "<asset_path>a</asset_path>",
       "Neither relative nor absolute Validation data not found for asset."},
      {"<asset_type>BINARY</asset_type><sequence_no>0</sequence_no><asset_size>1</asset_size>" +
           urls,
       "Sequence number (0) is invalid"},
      {"<asset_type>BINARY</asset_type><sequence_no>x1</sequence_no><asset_size>1</asset_size>" +
           urls,
       "Sequence number (x1) is invalid"},
      {"<asset_type>BINARY</asset_type><asset_size>1</asset_size>" + urls,
       "Sequence number is not found or is invalid"},
      {"<asset_type>BINARY</asset_type><sequence_no>1</sequence_no><asset_size>0</asset_size>" +
           urls,
       "Specified asset size (0) is invalid"},
      {"<asset_type>BINARY</asset_type><sequence_no>1</sequence_no>" + urls,
       "Asset size not specified for asset"},
      {"<asset_type>bin</asset_type>", "The type bin does not correspond to any asset type"},
      {std::string(kMinimal) + urls +
           "<actions><action><name>run</name><sequence_no>1"
           "</sequence_no></action></actions>",
       "Actions specified for asset are invalid"},
  };
  for (const Case& c : cases) {
    logger_.clear();
    EXPECT_EQ(asset(c.inner), nullptr) << c.warning;
    EXPECT_TRUE(logger_.has(pando::kLogWarn, c.warning)) << c.warning;
  }
}

TEST_F(DocumentsTest, ActionsRunInSequenceOrderAndALaterDuplicateReplacesTheFormer) {
  const std::string urls = "<asset_path>a</asset_path><validation_data>v</validation_data>";
  auto none = asset(std::string(kMinimal) + urls);
  ASSERT_NE(none, nullptr);
  uint32_t type = 9, result = 9;
  EXPECT_EQ(none->runActions(type, result), pdm::kActionDone);
  EXPECT_EQ(type, 9u) << "no action ran";

  // Two actions numbered 1: one remains. On a binary asset an extract action fails.
  auto twice = asset(std::string(kMinimal) + urls +
                     "<actions><action><name>extract</name><sequence_no>1</sequence_no>"
                     "<action_data><data><key>k</key><value>first</value></data></action_data>"
                     "</action><action><name>extract</name><sequence_no>1</sequence_no>"
                     "</action></actions>");
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->getActionCount(), 1u);
  EXPECT_EQ(twice->runActions(type, result), pdm::kActionFailed);
  EXPECT_EQ(type, 1u);
}

TEST_F(DocumentsTest, ActionDataPairsSkipEntriesWithoutAKey) {
  pdm::ActionFactory factory;
  auto action = factory.createAction(
      "<action><name>extract</name><type>zip</type><sequence_no>2</sequence_no><action_data>"
      "<data><key>a</key><value>1</value></data><data><value>lost</value></data>"
      "<data><key>b</key></data></action_data></action>");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->getSequenceNumber(), 2u);
  EXPECT_EQ(action->getData(), (std::map<std::string, std::string>{{"a", "1"}, {"b", ""}}));
  EXPECT_EQ(factory.createAction("<action><name>extract</name></action>"), nullptr);
  EXPECT_TRUE(logger_.has(pando::kLogWarn, "Sequence number could not be determined for action"));
  EXPECT_EQ(factory.createAction("<action><name>copy</name><sequence_no>1</sequence_no></action>"),
            nullptr);
  EXPECT_TRUE(
      logger_.has(pando::kLogError, "The action name copy does not correspond to any action type"));
}

TEST_F(DocumentsTest, ValidatorChecksSegmentsAgainstTheirStoredDigests) {
  auto v = validator(segment(1, kAbcd) + segment(2, kEfgh) + segment(3, kIj));
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(check(*v, "abcd", 0));
  EXPECT_TRUE(check(*v, "ij", 2));
  EXPECT_FALSE(check(*v, "abce", 0));
  EXPECT_FALSE(check(*v, "efgh", 0)) << "the digest of another segment";
  EXPECT_FALSE(check(*v, "ij", 3)) << "no digest stored for the index";

  // Upper-case digests never match; a segment without its number is skipped.
  std::string upper = kEfgh;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  auto shouted =
      validator(segment(1, kAbcd) + "<segment>" + kEfgh + "</segment>" + segment(3, upper.c_str()));
  ASSERT_NE(shouted, nullptr);
  EXPECT_FALSE(check(*shouted, "efgh", 1));
  EXPECT_FALSE(check(*shouted, "ij", 2));
}

TEST_F(DocumentsTest, ValidationDocumentsWithInconsistentSizesAreRejected) {
  const std::string three = segment(1, kAbcd) + segment(2, kEfgh) + segment(3, kIj);
  struct Case {
    std::string sizes;
    std::string segments;
    const char* warning;
  };
  const Case cases[] = {
      {"<segmentSize>4</segmentSize><segmentCount>3</segmentCount><lastSegmentSize>5"
       "</lastSegmentSize>",
       three, "Last segment size is more than segment size"},
      {"<segmentSize>4</segmentSize><segmentCount>4</segmentCount><lastSegmentSize>2"
       "</lastSegmentSize>",
       three, "Segment count mismatch in the validation information"},
      {"<segmentSize>0</segmentSize><segmentCount>3</segmentCount><lastSegmentSize>2"
       "</lastSegmentSize>",
       three, "Invalid segment size (0) specified"},
      {"<segmentSize>4</segmentSize><segmentCount>3</segmentCount>", three,
       "Last segment size not specified"},
      {"<segmentSize>4</segmentSize><segmentCount>0</segmentCount><lastSegmentSize>2"
       "</lastSegmentSize>",
       "", "Segment count is invalid"},
      {"<segmentSize>99999999999</segmentSize><segmentCount>3</segmentCount><lastSegmentSize>2"
       "</lastSegmentSize>",
       three, "Invalid segment size (99999999999) specified"},
  };
  for (const Case& c : cases) {
    logger_.clear();
    EXPECT_EQ(validator(c.segments, c.sizes), nullptr) << c.warning;
    EXPECT_TRUE(logger_.has(pando::kLogWarn, c.warning)) << c.warning;
  }
}

TEST_F(DocumentsTest, WholeFileCheckReadsOnlyAFileOfTheDescribedSize) {
  auto v = validator(segment(1, kAbcd) + segment(2, kEfgh) + segment(3, kIj));
  ASSERT_NE(v, nullptr);
  const std::string path = folder_ / "data";
  for (const auto& [bytes, valid] :
       std::initializer_list<std::pair<const char*, bool>>{{"abcdefghij", true},
                                                           {"abcdefghi", false},
                                                           {"abcdefghijk", false},
                                                           {"abcdefghiJ", false}}) {
    wendtest::writeFile(path, bytes);
    EXPECT_EQ(v->validateWholeFile(path), valid) << bytes;
  }
  EXPECT_FALSE(v->validateWholeFile(folder_ / "absent"));
  for (const std::string& hostile : wendtest::HostileFiles(10).all())
    EXPECT_FALSE(v->validateWholeFile(hostile)) << hostile;

  // A file far smaller than its one segment.
  auto big = validator(segment(1, kAbcd),
                       "<segmentSize>4194304</segmentSize><segmentCount>1</segmentCount>"
                       "<lastSegmentSize>4</lastSegmentSize>");
  ASSERT_NE(big, nullptr);
  wendtest::writeFile(path, "abcd");
  EXPECT_TRUE(big->validateWholeFile(path));
}

TEST_F(DocumentsTest, CreatedValidationDocumentDescribesTheFileInSegments) {
  pdm::MD5Validator writer;
  // A short last segment, and a file that is an exact number of segments (its last one whole).
  for (const std::string bytes : {"abcdefghij", "abcdefgh"}) {
    wendtest::writeFile(folder_ / "data", bytes);
    ASSERT_TRUE(writer.createValidationFile(folder_ / "data", folder_ / "made.xml", 4));
    auto reader = pdm::ValidatorFactory().createFromXML(folder_ / "made.xml");
    ASSERT_NE(reader, nullptr) << bytes;
    EXPECT_EQ(reader->getFileSize(), bytes.size());
    EXPECT_TRUE(reader->validateWholeFile(folder_ / "data")) << bytes;
    EXPECT_TRUE(check(*reader, "efgh", 1)) << bytes;
  }
  EXPECT_FALSE(writer.createValidationFile(folder_ / "data", folder_ / "zero.xml", 0));
}

// The fake hdiutil's "image" is a folder; its calls are logged in its state folder.
class DiskImageAssetTest : public DocumentsTest {
 protected:
  DiskImageAssetTest() {
    std::filesystem::create_directories(image_ + "/App");
    std::filesystem::create_directories(destination_);
    wendtest::writeFile(image_ + "/App/payload", "bytes");
    wendtest::writeFile(destination_ + "/stale", "an earlier copy");
  }

  std::unique_ptr<pdm::AssetBase> diskImage() {
    auto made = asset(
        "<asset_type>DMG</asset_type><sequence_no>1</sequence_no><asset_size>10</asset_size>"
        "<asset_path>a</asset_path><validation_data>v</validation_data><actions><action><name>"
        "extract</name><sequence_no>1</sequence_no></action></actions>");
    if (made) made->setPath(image_, destination_);
    return made;
  }
  uint32_t extract(pdm::AssetBase& made) {
    uint32_t type = 0, result = 0;
    return made.runActions(type, result);
  }
  // hdiutil's calls so far, each as its verb and its last argument.
  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    std::istringstream lines(wendtest::readFile(folder_ / "calls"));
    for (std::string line; std::getline(lines, line);) {
      out.push_back(line.substr(0, line.find('\t')) + " " + line.substr(line.rfind('\t') + 1));
    }
    return out;
  }

  wendtest::TemporaryFolder root_;
  wendtest::PrivateRootEnvironment environment_{root_.path()};
  const std::string image_ = folder_ / "image.dmg";
  const std::string destination_ = folder_ / "destination";
  wendtest::ScopedEnv tool_{"WEND_TOOL_HDIUTIL", WEND_FAKE_HDIUTIL};
  wendtest::ScopedEnv state_{"WEND_FAKE_HDIUTIL_STATE", folder_.path()};
  wendtest::ScopedEnv fail_{"WEND_FAKE_HDIUTIL_FAIL", std::nullopt};
};

TEST_F(DiskImageAssetTest, TheVolumeReplacesTheDestinationAndIsUnmountedWhenTheAssetGoes) {
  auto made = diskImage();
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(extract(*made), pdm::kActionDone);
  EXPECT_EQ(wendtest::readFile(destination_ + "/App/payload"), "bytes");
  EXPECT_FALSE(wendtest::existsNoFollow(destination_ + "/stale"));
  const std::vector<std::string> attached = calls();
  ASSERT_EQ(attached.size(), 1u);
  const std::string mountPoint = attached[0].substr(attached[0].find(' ') + 1);
  EXPECT_EQ(mountPoint.rfind(root_.path() + "/tmp/", 0), 0u) << "a fresh folder under the temp";
  EXPECT_TRUE(wendtest::existsNoFollow(mountPoint)) << "mounted while the asset lives";
  made.reset();
  EXPECT_EQ(calls(), (std::vector<std::string>{attached[0], "detach -quiet"}));
  EXPECT_FALSE(wendtest::existsNoFollow(mountPoint));
}

// An image mounted before is copied from where it is and stays mounted; an image that cannot be
// mounted fails the action and leaves the destination as it was.
TEST_F(DiskImageAssetTest, AVolumeMountedBeforeStaysMountedAndAFailedMountChangesNothing) {
  const std::string before = folder_ / "mounted-before";
  std::string mountedAt;
  bool mountedHere = true;
  ASSERT_TRUE(FileUtils::attachDiskImage(image_, before, mountedAt, mountedHere, &logger_));
  {
    auto made = diskImage();
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(extract(*made), pdm::kActionDone);
    EXPECT_EQ(wendtest::readFile(destination_ + "/App/payload"), "bytes");
  }
  EXPECT_EQ(calls().back(), "info -plist") << "no detach";
  EXPECT_TRUE(wendtest::existsNoFollow(before + "/App/payload"));
  ASSERT_TRUE(FileUtils::detachDiskImage(before, &logger_));

  wendtest::writeFile(destination_ + "/stale", "an earlier copy");
  wendtest::ScopedEnv fail("WEND_FAKE_HDIUTIL_FAIL", "attach,info");
  auto refused = diskImage();
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(extract(*refused), pdm::kActionFailed);
  EXPECT_EQ(wendtest::readFile(destination_ + "/stale"), "an earlier copy");
  refused.reset();
  EXPECT_EQ(calls().back(), "info -plist") << "nothing mounted, nothing to detach";
}

TEST_F(DocumentsTest, HexTextNeedsRoomForTwoDigitsPerByteAndTheEnd) {
  pdm::MD5Validator v;
  const uint8_t digest[16] = {0x00, 0x1f, 0xa0, 0xff};
  char buffer[33];
  EXPECT_FALSE(v.getHashValueInHex(digest, 16, buffer, 32));
  ASSERT_TRUE(v.getHashValueInHex(digest, 16, buffer, 33));
  EXPECT_STREQ(buffer, "001fa0ff000000000000000000000000");
  EXPECT_EQ(pdm::ValidatorFactory().createByType("TYPE2"), nullptr);
  EXPECT_TRUE(logger_.has(pando::kLogWarn, "Validator type (TYPE2) is not defined"));
}

}  // namespace
