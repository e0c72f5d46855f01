// The relaunch against the fake elevation tool (tools/fakes/pkexec), which runs what it is asked
// to unprivileged; the "copy" is a script that records how it was started.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "foundation/logging/LogCallback.h"
#include "mediation/ipc/MessageGatewayMac.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace mediation {
namespace {

std::string contents(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class MessageGatewayMacTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setApplicationLogger(&logger_);
    copy_ = folder_ / "copy";
    std::ofstream(copy_)
        << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"uid=$PKEXEC_UID\" > \"$0.ran\"\n";
    chmod(copy_.c_str(), 0755);
  }
  void TearDown() override { setApplicationLogger(nullptr); }

  wendtest::TemporaryFolder folder_;
  wendtest::CapturingLogger logger_;
  std::string copy_;
  wendtest::ScopedEnv tool_{"WEND_TOOL_ELEVATION", WEND_FAKE_PKEXEC};
  wendtest::ScopedEnv log_{"WEND_FAKE_ELEVATION_LOG", folder_ / "tool.log"};
};

TEST_F(MessageGatewayMacTest, GrantedStartsTheExecutableWithOnlyThePipeName) {
  ASSERT_TRUE(MessageGatewayMac::launchPrivilegedHelper("C0FFEE-1", copy_));
  EXPECT_EQ(contents(folder_ / "tool.log"),
            "/bin/sh\n-c\n[ -x \"$0\" ] || exit 127; setsid \"$0\" \"$1\" </dev/null >/dev/null "
            "2>&1 &\n" +
                copy_ + "\n--pipename=C0FFEE-1\n--end--\n");
  ASSERT_TRUE(wendtest::waitUntil([&] { return !contents(copy_ + ".ran").empty(); }));
  EXPECT_EQ(contents(copy_ + ".ran"),
            copy_ + "\n--pipename=C0FFEE-1\nuid=" + std::to_string(getuid()) + "\n");
  EXPECT_TRUE(logger_.records().empty());
}

TEST_F(MessageGatewayMacTest, EveryRefusalIsFalseWithItsOwnLogAndStartsNothing) {
  struct Row {
    const char* name;
    std::optional<std::string> answer;
    std::string tool;
    mode_t copyMode;
    std::string log;
  };
  const Row rows[] = {
      {"cancelled", "126", WEND_FAKE_PKEXEC, 0755, "Authorization cancelled by user"},
      {"not authorized", "127", WEND_FAKE_PKEXEC, 0755,
       "Unable to copy authorization rights (127)"},
      {"no tool", std::nullopt, folder_ / "missing", 0755, "Unable to create authorization (2)"},
      {"copy not executable", std::nullopt, WEND_FAKE_PKEXEC, 0644,
       "Unable to copy authorization rights (127)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    logger_.clear();
    wendtest::ScopedEnv answer("WEND_FAKE_ELEVATION", row.answer);
    wendtest::ScopedEnv tool("WEND_TOOL_ELEVATION", row.tool);
    chmod(copy_.c_str(), row.copyMode);
    EXPECT_FALSE(MessageGatewayMac::launchPrivilegedHelper("C0FFEE-2", copy_));
    ASSERT_EQ(logger_.records().size(), 1u);
    EXPECT_EQ(logger_.records()[0].level, pando::kLogError);
    EXPECT_EQ(logger_.records()[0].component, "MessageGatewayMac");
    EXPECT_EQ(logger_.records()[0].message, row.log);
    EXPECT_EQ(access((copy_ + ".ran").c_str(), F_OK), -1);
  }
}

}  // namespace
}  // namespace mediation
