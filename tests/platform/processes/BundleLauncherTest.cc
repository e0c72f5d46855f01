#include <gtest/gtest.h>

#include "platform/processes/BundleLauncher.h"
#include "tests/support/Bundle.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

using namespace wendtest;

namespace {

TEST(BundleLauncher, ABundleLaunchesItsExecutableAndReportsItsPid) {
  TemporaryFolder folder;
  std::string bundle =
      makeBundle(folder / "Tarn.app", "<key>CFBundleExecutable</key><string>Tarn Run</string>");
  writeScript(bundle + "/Contents/MacOS/Tarn Run", "echo \"$$ $*\" > " + folder / "ran.tmp" +
                                                       "; mv " + folder / "ran.tmp" + " " +
                                                       folder / "ran" + "\n");
  pid_t pid = 0;
  ASSERT_EQ(platform::launchBundle(bundle, {"--mode=x", "two words"}, pid),
            platform::LaunchStatus::kLaunched);
  EXPECT_GT(pid, 0);
  ASSERT_TRUE(waitUntil([&] { return existsNoFollow(folder / "ran"); }));
  EXPECT_EQ(readFile(folder / "ran"), std::to_string(pid) + " --mode=x two words\n");
}

TEST(BundleLauncher, BundlesThatDoNotNameAUsableExecutableAreRefused) {
  TemporaryFolder folder;
  writeScript(folder / "outside", "exit 0\n");
  struct Case {
    const char* name;
    std::string dictBody;  // null-like "-": no Info.plist at all
    platform::LaunchStatus status;
  } cases[] = {
      {"no Info.plist", "-", platform::LaunchStatus::kNoBundle},
      {"no executable key", "<key>CFBundleName</key><string>T</string>",
       platform::LaunchStatus::kNoBundle},
      {"executable not a string", "<key>CFBundleExecutable</key><true/>",
       platform::LaunchStatus::kNoBundle},
      {"empty name", "<key>CFBundleExecutable</key><string></string>",
       platform::LaunchStatus::kBadExecutable},
      {"name leaves the folder", "<key>CFBundleExecutable</key><string>../../../outside</string>",
       platform::LaunchStatus::kBadExecutable},
      {"dot-dot", "<key>CFBundleExecutable</key><string>..</string>",
       platform::LaunchStatus::kBadExecutable},
      {"executable missing", "<key>CFBundleExecutable</key><string>Absent</string>",
       platform::LaunchStatus::kNotStarted},
  };
  int serial = 0;
  for (const Case& c : cases) {
    // Appended piecewise: GCC 12's -Wrestrict misfires on "literal" + std::string at -O3.
    std::string name = "B";
    name += std::to_string(serial++);
    name += ".app";
    std::string bundle = folder / name;
    if (c.dictBody == "-") {
      std::filesystem::create_directories(bundle + "/Contents/MacOS");
    } else {
      makeBundle(bundle, c.dictBody);
    }
    pid_t pid = -7;
    EXPECT_EQ(platform::launchBundle(bundle, {}, pid), c.status) << c.name;
    EXPECT_EQ(pid, -7) << c.name;
  }
  pid_t pid = -7;
  EXPECT_EQ(platform::launchBundle(folder / "absent", {}, pid),
            platform::LaunchStatus::kNotStarted);
}

}  // namespace
