// Linked against the platform layer built with developer overrides off, as a product build has it:
// the environment of an elevated run cannot redirect any reader.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/network/CurlPolicy.h"
#include "platform/processes/ToolRunner.h"
#include "platform/system/ConsoleUser.h"
#include "platform/system/DeveloperOverrides.h"
#include "platform/system/MacOSVersion.h"
#include "platform/system/TimeScale.h"
#include "tests/support/Environment.h"

namespace {

using wendtest::ScopedEnv;

TEST(ProductBuildOverridesTest, TheEnvironmentRedirectsNothing) {
  const std::string other = std::to_string(wendtest::otherUser());
  struct Row {
    const char* variable;
    std::string value;
    std::function<std::string()> reader;  // what the program would use
    std::string expected;                 // the product's own answer
  };
  const std::vector<Row> rows = {
      {"WEND_ROOT", "/tmp/planted", [] { return platform::wendRoot(); }, ""},
      {"WEND_TOOL_HDIUTIL", "/tmp/planted/hdiutil",
       [] { return platform::toolPath(platform::Tool::kHdiutil); }, "/usr/bin/hdiutil"},
      {"WEND_TOOL_ELEVATION", "/tmp/planted/pkexec",
       [] { return platform::toolPath(platform::Tool::kElevation); }, "/usr/bin/pkexec"},
      {"WEND_CA_FILE", "/tmp/planted/ca.pem", [] { return platform::curlCaFile(); }, ""},
      {"WEND_OS_VERSION", "10.9.0", [] { return platform::macOSVersionText(); }, "10.15.7"},
      {"WEND_TIME_SCALE", "0.001",
       [] { return std::to_string(platform::timeScaleFromEnvironment()); }, std::to_string(1.0)},
      {"WEND_CONSOLE_UID", other,
       [] {
         platform::ConsoleUser user;
         const bool redirected =
             platform::findConsoleUser(user) && user.uid == wendtest::otherUser();
         return redirected ? "the planted user" : "the real one";
       },
       "the real one"},
      {"WEND_SERVICE_BASE", "https://127.0.0.1:1",
       [] { return platform::developerOverride("WEND_SERVICE_BASE").value_or(""); }, ""},
      {"WEND_MOUNTINFO", "/tmp/planted/mountinfo",
       [] { return platform::developerOverride("WEND_MOUNTINFO").value_or(""); }, ""},
  };
  EXPECT_FALSE(platform::developerOverridesEnabled());
  std::vector<std::unique_ptr<ScopedEnv>> environment;
  for (const Row& row : rows)
    environment.push_back(std::make_unique<ScopedEnv>(row.variable, row.value));
  for (const Row& row : rows) EXPECT_EQ(row.reader(), row.expected) << row.variable;
}

}  // namespace
