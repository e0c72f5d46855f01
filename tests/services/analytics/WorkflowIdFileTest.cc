#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/files/FileUtils.h"
#include "services/analytics/ETSWrapper.h"
#include "services/analytics/WorkflowIdFile.h"
#include "tests/support/Environment.h"
#include "tests/support/FileState.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"

namespace wendtest {
namespace {

struct StoredCase {
  const char* name;
  const char* content;  // null: no file
  bool kept;
};

class WorkflowIdFileTest : public ::testing::TestWithParam<StoredCase> {
 protected:
  std::string folder() const {
    std::string path;
    FileUtils::getSpecialFolderPath(22, path);
    return path;
  }

  TemporaryFolder root_;
  PrivateRootEnvironment environment_{root_.path()};
};

TEST_P(WorkflowIdFileTest, KeepsAUuidAndReplacesAnythingElse) {
  const StoredCase& stored = GetParam();
  if (stored.content != nullptr) {
    ASSERT_TRUE(FileUtils::createDirectoryAtPath(folder()));
    writeFile(folder() + "/temp_lbs_wid", stored.content);
  }
  const std::string id = ETSWrapper::getWorkflowIDString(1);
  EXPECT_TRUE(isUuidText(id)) << id;
  if (stored.kept) {
    EXPECT_EQ(id, std::string(stored.content).substr(0, 36));
  } else if (stored.content != nullptr) {
    EXPECT_NE(id, stored.content);
  }
  EXPECT_EQ(readFile(folder() + "/temp_lbs_wid").substr(0, 36), id);
  EXPECT_EQ(ETSWrapper::getWorkflowIDString(1), id);
}

TEST_F(WorkflowIdFileTest, TheFolderIsMadeForTheConsoleUserAlone) {
  ETSWrapper::getWorkflowIDString(1);
  for (const std::string& path : {folder(), folder() + "/temp_lbs_wid"}) {
    const FileState file = fileState(path);
    EXPECT_EQ(file.mode, path == folder() ? 0700u : 0600u) << path;
    EXPECT_EQ(file.owner, geteuid()) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Contents, WorkflowIdFileTest,
    ::testing::Values(StoredCase{"NoFile", nullptr, false},
                      StoredCase{"Uuid", "0F8A1C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B", true},
                      StoredCase{"UuidAndLineFeed", "0f8a1c2e-3b4d-4e5f-8a9b-0c1d2e3f4a5b\n", true},
                      StoredCase{"Empty", "", false}, StoredCase{"Garbage", "not a uuid", false},
                      StoredCase{"Braced", "{0F8A1C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B}", false},
                      StoredCase{"BadDigit", "0F8A1C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5G", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(WorkflowIdFileTest, EachKindHasItsOwnFileAndNoOtherKindExists) {
  const std::string first = ETSWrapper::getWorkflowIDString(1);
  const std::string second = ETSWrapper::getWorkflowIDString(2);
  EXPECT_TRUE(isUuidText(second));
  EXPECT_NE(first, second);
  EXPECT_EQ(readFile(folder() + "/temp_ins_lbs_wid"), second);
  EXPECT_EQ(ETSWrapper::getWorkflowIDString(0), "");
  EXPECT_EQ(ETSWrapper::getWorkflowIDString(3), "");
}

TEST_F(WorkflowIdFileTest, APlantedLinkIsNotFollowed) {
  ASSERT_TRUE(FileUtils::createDirectoryAtPath(folder()));
  const std::string target = root_ / "elsewhere";
  writeFile(target, "keep");
  ASSERT_EQ(symlink(target.c_str(), (folder() + "/temp_lbs_wid").c_str()), 0);
  EXPECT_EQ(ETSWrapper::getWorkflowIDString(1), "");
  EXPECT_EQ(readFile(target), "keep");

  // The folder itself swapped for a link to another folder: nothing is made there.
  const std::string other = root_ / "other";
  ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
  ASSERT_TRUE(FileUtils::deleteDirectory(folder(), true));
  ASSERT_EQ(symlink(other.c_str(), folder().c_str()), 0);
  EXPECT_EQ(ETSWrapper::getWorkflowIDString(1), "");
  EXPECT_FALSE(existsNoFollow(other + "/temp_lbs_wid"));
}

}  // namespace
}  // namespace wendtest
