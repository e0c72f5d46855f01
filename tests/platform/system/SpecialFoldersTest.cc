#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/system/ConsoleUser.h"
#include "platform/system/SpecialFolders.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

using namespace wendtest;

namespace {

struct Info {
  uid_t uid;
  mode_t mode;
};

Info infoOf(const std::string& path) {
  return {statOf(path).st_uid, statOf(path).st_mode & 07777};
}

// A private tree as WEND_ROOT and "nobody" at the screen, whose home the tree does not hold yet.
class SpecialFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::findUser(otherUser(), console_));
    ASSERT_TRUE(platform::findUser(geteuid(), self_));
  }
  std::string path(int id) {
    std::string out;
    EXPECT_TRUE(platform::specialFolderPath(id, out)) << id;
    return out;
  }

  TemporaryFolder tree_;
  ScopedEnv root_{"WEND_ROOT", tree_.path()};
  ScopedEnv consoleUid_{"WEND_CONSOLE_UID", std::to_string(otherUser())};
  ScopedEnv data_{"XDG_DATA_HOME", "/xdg/data"};
  ScopedEnv state_{"XDG_STATE_HOME", "/xdg/state"};
  platform::ConsoleUser console_;
  platform::ConsoleUser self_;
};

TEST_F(SpecialFolders, EveryIdMapsToItsLocationUnderTheRoot) {
  const std::string userData = console_.home + "/.local/share";
  struct Case {
    int id;
    std::string location;
  } cases[] = {{0, "/opt"},
               {2, "/var/lib"},
               {3, "/var/lib"},
               {9, self_.home},
               {10, console_.home + "/Documents"},
               {12, userData},
               {13, "/var/lib/shared"},
               {15, "/tmp"},
               {18, "/var/lib/Orvel"},
               {19, userData + "/Orvel"},
               {20, "/var/lib/shared/Orvel"},
               {21, "/var/lib/Orvel/PANDO"},
               {22, userData + "/Orvel/PANDO"},
               {23, "/var/lib/shared/Orvel/PANDO"},
               {24, "/opt/Utilities/Quarry/"},
               {25, "/var/lib/Orvel/PANDO/Fallow"},
               {26, userData + "/Orvel/PANDO/Fallow"},
               {27, "/var/lib/Orvel/Quarry/QuarryRefs"},
               {28, "/var/lib/Orvel/HearthRefs"},
               {29, "/var/lib/Orvel/Hearth"},
               {30, "/opt/Utilities/Orvel Skyloom/"},
               {31, "/etc"},
               {32, console_.home + "/.local/state"}};
  for (const Case& c : cases) EXPECT_EQ(path(c.id), tree_.path() + c.location) << c.id;
}

// The temporary folder and the home are made like the other base folders; product folders not.
TEST_F(SpecialFolders, BaseFoldersAreCreatedButNotTheProductFolders) {
  path(29);
  path(30);
  path(26);
  for (const std::string& made : {tree_ / "var/lib", tree_ / "opt/Utilities",
                                  tree_.path() + console_.home + "/.local/share"}) {
    EXPECT_TRUE(isFolder(made)) << made;
    EXPECT_FALSE(existsNoFollow(made + "/Orvel")) << made;
  }
  EXPECT_FALSE(existsNoFollow(tree_ / "opt/Utilities/Orvel Skyloom"));
  EXPECT_EQ(infoOf(path(15)).mode, 01777u);
  EXPECT_EQ(infoOf(path(9)).mode, 0700u);
  EXPECT_EQ(infoOf(path(9)).uid, geteuid());
}

TEST_F(SpecialFolders, MachineFoldersAreRootsAndConsoleUserFoldersPrivateAndTheirs) {
  if (geteuid() != 0) GTEST_SKIP() << "ownership needs root";
  EXPECT_EQ(infoOf(path(13)).mode, 01777u) << "shared data is sticky for all";
  EXPECT_EQ(infoOf(tree_ / "var/lib").mode, 0755u);
  EXPECT_EQ(infoOf(path(0)).uid, 0u);
  for (int id : {10, 12, 32}) {
    EXPECT_EQ(infoOf(path(id)).uid, console_.uid) << id;
    EXPECT_EQ(infoOf(path(id)).mode, 0700u) << id;
  }
}

TEST_F(SpecialFolders, XdgVariablesCountOnlyWhenRunningAsTheConsoleUser) {
  ScopedEnv self("WEND_CONSOLE_UID", std::to_string(geteuid()));
  EXPECT_EQ(path(12), tree_ / "xdg/data");
  EXPECT_EQ(path(22), tree_ / "xdg/data/Orvel/PANDO");
  EXPECT_EQ(path(32), tree_ / "xdg/state");
  EXPECT_EQ(path(10), tree_.path() + self_.home + "/Documents");
}

TEST_F(SpecialFolders, IdsWithoutAFolderAndFailedLookupsLeaveTheOutputUnchanged) {
  writeFile(tree_ / "file", "not a folder");
  struct Case {
    const char* name;
    const char* variable;
    std::string value;
    std::vector<int> ids;
  } cases[] = {
      {"no folder", "WEND_ROOT", tree_.path(), {-1, 1, 4, 5, 6, 7, 8, 11, 14, 33, 1000}},
      {"unknown console user",
       "WEND_CONSOLE_UID",
       std::to_string(kUnknownUid),
       {10, 12, 19, 22, 26, 32}},
      {"root is a file", "WEND_ROOT", tree_ / "file", {0, 2, 18, 24, 30, 31}},
      {"link planted in the tree", "WEND_ROOT", tree_ / "planted", {18}},
  };
  TemporaryFolder elsewhere;
  ASSERT_TRUE(std::filesystem::create_directories(tree_ / "planted"));
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (tree_ / "planted/var").c_str()), 0);
  for (const Case& c : cases) {
    ScopedEnv variable(c.variable, c.value);
    for (int id : c.ids) {
      std::string out = "kept";
      EXPECT_FALSE(platform::specialFolderPath(id, out)) << c.name << " " << id;
      EXPECT_EQ(out, "kept");
    }
  }
  EXPECT_FALSE(existsNoFollow(elsewhere / "lib"));
}

TEST_F(SpecialFolders, RunningProgramIsTheExecutableItselfOutsideABundle) {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  ASSERT_GT(length, 0);
  std::string executable(buffer, static_cast<size_t>(length));
  EXPECT_EQ(path(16), executable);  // where it runs, not under the root
  EXPECT_EQ(path(17), executable.substr(0, executable.rfind('/')));
}

TEST(ProgramBundle, OnlyAnAppsContentsMacOSExecutableStandsForItsBundle) {
  struct Case {
    const char* executable;
    const char* program;
  } cases[] = {
      {"/v/Install.app/Contents/MacOS/Install", "/v/Install.app"},
      {"/Install.app/Contents/MacOS/Other", "/Install.app"},
      {"/v/bin/install", "/v/bin/install"},
      {"/v/Contents/MacOS/Install", "/v/Contents/MacOS/Install"},
      {"/v/X.app/Contents/Resources/tool", "/v/X.app/Contents/Resources/tool"},
      {"/v/X.app/MacOS/X", "/v/X.app/MacOS/X"},
      {"/v/.app/Contents/MacOS/X", "/v/.app/Contents/MacOS/X"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::programBundlePath(c.executable), c.program);
}

}  // namespace
