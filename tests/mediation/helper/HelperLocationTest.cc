#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "foundation/logging/LogCallback.h"
#include "mediation/helper/HelperLocation.h"
#include "tests/mediation/helper/support/HelperFixtures.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace mediation {
namespace {

std::string plant(const std::string& folder) {
  std::filesystem::create_directories(folder + "/ElevationManager");
  const std::string path = folder + "/ElevationManager/Orvel Installer";
  std::ofstream(path) << "#!/bin/sh\n";
  chmod(path.c_str(), 0755);
  return path;
}

class HelperLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setApplicationLogger(&logger_);
    chmod(folder_.path().c_str(), 0755);
  }
  void TearDown() override { setApplicationLogger(nullptr); }

  wendtest::TemporaryFolder folder_;
  wendtest::CapturingLogger logger_;
};

TEST_F(HelperLocationTest, AsRootOnlyAHelperNobodyElseCanChangeIsUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  struct Row {
    const char* name;
    std::function<void(const std::string& helper)> change;
    bool usable;
  };
  auto folderOf = [](const std::string& helper) {
    return std::filesystem::path(helper).parent_path().string();
  };
  const Row rows[] = {
      {"root's alone", [](const std::string&) {}, true},
      {"sticky folder open to all",
       [&](const std::string& helper) { chmod(folderOf(helper).c_str(), 01777); }, true},
      {"group-writable folder",
       [&](const std::string& helper) { chmod(folderOf(helper).c_str(), 0775); }, false},
      {"world-writable file", [](const std::string& helper) { chmod(helper.c_str(), 0757); },
       false},
      {"another user's file",
       [](const std::string& helper) {
         EXPECT_EQ(chown(helper.c_str(), wendtest::otherUser(), 0), 0);
       },
       false},
      {"another user's folder",
       [&](const std::string& helper) {
         EXPECT_EQ(chown(folderOf(helper).c_str(), wendtest::otherUser(), 0), 0);
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    logger_.clear();
    wendtest::TemporaryFolder place;
    const std::string first = plant(place / "first"), second = plant(place / "second");
    row.change(first);
    wendtest::FixedHelperFolders folders(place / "first", place / "second");
    const HelperLocation location = findInstallHelper(folders, true);
    EXPECT_TRUE(location.found);
    EXPECT_EQ(location.path, row.usable ? first : second);
    EXPECT_EQ(
        logger_.has(pando::kLogWarn, "Install Helper at '" + first +
                                         "' may be changed by users other than root; skipped"),
        !row.usable);
    // Not as root, ownership is not looked at.
    EXPECT_EQ(findInstallHelper(folders, false).path, first);
  }
}

// A link anywhere on the way could be swapped by whoever owns the folder holding it, so as root
// the path as given is checked, not where its links lead, and the helper is started by that path.
TEST_F(HelperLocationTest, AsRootALinkAnywhereOnTheHelpersPathIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  namespace fs = std::filesystem;
  struct Row {
    const char* name;
    // Makes the first location from root's real helper folder `real` (".../ElevationManager").
    std::function<void(const std::string& first, const std::string& real)> make;
  };
  const Row rows[] = {
      {"another user's folder holding a link to root's helper folder",
       [](const std::string& first, const std::string& real) {
         fs::create_directory(first);
         EXPECT_EQ(chown(first.c_str(), wendtest::otherUser(), 0), 0);
         fs::create_directory_symlink(real, first + "/ElevationManager");
       }},
      {"root's folder holding a link to root's helper folder",
       [](const std::string& first, const std::string& real) {
         fs::create_directory(first);
         fs::create_directory_symlink(real, first + "/ElevationManager");
       }},
      {"the helper itself a link to root's helper",
       [](const std::string& first, const std::string& real) {
         fs::create_directories(first + "/ElevationManager");
         fs::create_symlink(real + "/Orvel Installer", first + "/ElevationManager/Orvel Installer");
       }},
      {"the folder itself a link to root's folder",
       [](const std::string& first, const std::string& real) {
         fs::create_directory_symlink(fs::path(real).parent_path(), first);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    logger_.clear();
    wendtest::TemporaryFolder place;
    chmod(place.path().c_str(), 0755);
    const std::string real = fs::path(plant(place / "real")).parent_path().string();
    const std::string second = plant(place / "second");
    row.make(place / "first", real);
    wendtest::FixedHelperFolders folders(place / "first", place / "second");
    const HelperLocation location = findInstallHelper(folders, true);
    EXPECT_TRUE(location.found);
    EXPECT_EQ(location.path, second);
    EXPECT_EQ(location.startPath, second);
    EXPECT_TRUE(
        logger_.has(pando::kLogWarn, "Install Helper at '" + place / "first" +
                                         "/ElevationManager/Orvel Installer" +
                                         "' may be changed by users other than root; skipped"));
    std::string startPath;
    EXPECT_FALSE(safeForRoot(place / "first/ElevationManager/Orvel Installer", startPath));
    EXPECT_TRUE(safeForRoot(second, startPath));
    EXPECT_EQ(startPath, second);
  }
}

}  // namespace
}  // namespace mediation
