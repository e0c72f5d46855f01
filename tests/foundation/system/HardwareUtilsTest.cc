#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/system/HardwareUtils.h"
#include "platform/system/ConsoleUser.h"
#include "tests/foundation/system/support/DisplaysReport.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace HardwareUtils {
namespace {

TEST(HardwareUtilsTest, VersionTextsParseLikeStrtokAndAtol) {
  struct Case {
    const char* text;
    int major, minor, patch;
  } cases[] = {{"10.11.6", 10, 11, 6}, {"10..9", 10, 9, 0},      {"", 0, 0, 0},
               {".10.9.", 10, 9, 0},   {"10.11.6.1", 10, 11, 6}, {"10b.x.7", 10, 0, 7}};
  for (const Case& c : cases) {
    OSVersion version{7, 7, 7};
    EXPECT_TRUE(ParseOSVersionString(c.text, version));
    EXPECT_EQ(version.majorVersion * 10000 + version.minorVersion * 100 + version.patchVersion,
              c.major * 10000 + c.minor * 100 + c.patch)
        << c.text;
  }
}

// The summary of this machine, with the system profiler faked (chatty on standard error, more
// than a pipe holds) and the logs under a private root.
TEST(HardwareUtilsTest, TheSummaryOfThisMachine) {
  wendtest::TemporaryFolder root;
  wendtest::writeFile(root / "report.xml", wendtest::displaysReport());
  wendtest::ScopedEnv wendRoot("WEND_ROOT", root.path()), stateHome("XDG_STATE_HOME", std::nullopt),
      consoleUid("WEND_CONSOLE_UID", std::to_string(getuid())),
      osVersion("WEND_OS_VERSION", std::nullopt), noX11("DISPLAY", std::nullopt),
      noWayland("WAYLAND_DISPLAY", std::nullopt),
      tool("WEND_TOOL_SYSTEM_PROFILER", WEND_FAKE_SYSTEM_PROFILER),
      report("WEND_FAKE_SYSTEM_PROFILER_REPORT", root / "report.xml"),
      noise("WEND_FAKE_SYSTEM_PROFILER_NOISE", "300000");

  std::string json;
  ASSERT_TRUE(FetchHardwareSummary(json));
  Json::Value summary;
  ASSERT_TRUE(Json::Reader(Json::Features()).parse(json, summary)) << json;
  EXPECT_EQ(summary["os"]["name"].asString(), "Mac OS 10.15.7");
  EXPECT_EQ(summary["displays"].size(), 3u);
  EXPECT_TRUE(summary["volumes"].isNull());  // no volumes under the private root
  EXPECT_GE(std::stoi(summary["ramInGB"].asString()), 1);

  platform::ConsoleUser user;
  ASSERT_TRUE(platform::findUser(getuid(), user));
  EXPECT_EQ(wendtest::readFile(root.path() + user.home +
                               "/.local/state/Skyloom/Tarn/hardwareConfig.json"),
            json);
}

}  // namespace
}  // namespace HardwareUtils
