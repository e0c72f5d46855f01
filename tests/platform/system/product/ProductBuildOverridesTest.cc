// Linked against the platform layer built with developer overrides off, as a product build has it:
// the environment of an elevated run cannot redirect any reader.
#include <gtest/gtest.h>

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

TEST(ProductBuildOverridesTest, TheEnvironmentRedirectsNothing) {
  const std::string other = std::to_string(wendtest::otherUser());
  const std::pair<const char*, std::string> planted[] = {
      {"WEND_ROOT", "/tmp/planted"},
      {"WEND_CONSOLE_UID", other},
      {"WEND_TOOL_HDIUTIL", "/tmp/planted"},
      {"WEND_CA_FILE", "/tmp/planted.pem"},
      {"WEND_OS_VERSION", "10.9.0"},
      {"WEND_TIME_SCALE", "0.001"},
      {"WEND_SERVICE_BASE", "https://x"},
      {"WEND_MOUNTINFO", "/tmp/planted"},
      {"WEND_CODESIGN_TRUST", "/tmp/planted.pem"}};
  std::vector<std::unique_ptr<wendtest::ScopedEnv>> environment;
  for (const auto& [name, value] : planted) {
    environment.push_back(std::make_unique<wendtest::ScopedEnv>(name, value));
  }
  EXPECT_FALSE(platform::developerOverridesEnabled());
  for (const auto& [name, value] : planted) EXPECT_FALSE(platform::developerOverride(name)) << name;
  EXPECT_EQ(platform::wendRoot(), "");
  EXPECT_EQ(platform::toolPath(platform::Tool::kHdiutil), "/usr/bin/hdiutil");
  EXPECT_EQ(platform::curlCaFile(), "");
  EXPECT_EQ(platform::macOSVersionText(), "10.15.7");
  EXPECT_EQ(platform::timeScaleFromEnvironment(), 1.0);
  platform::ConsoleUser user;
  EXPECT_FALSE(platform::findConsoleUser(user) && user.uid == wendtest::otherUser());
}

}  // namespace
