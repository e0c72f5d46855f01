// The relaunch against the fake elevation tool (tools/fakes/pkexec), which runs what it is asked
// to unprivileged; the "copy" is a script that records how it was started.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "foundation/logging/LogCallback.h"
#include "mediation/ipc/MessageGatewayMac.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace mediation {
namespace {

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

// What the user is asked to allow is the executable itself, no shell around it.
TEST_F(MessageGatewayMacTest, GrantedStartsTheExecutableWithOnlyThePipeName) {
  ASSERT_TRUE(MessageGatewayMac::launchPrivilegedHelper("C0FFEE-1", copy_));
  EXPECT_EQ(wendtest::readFile(folder_ / "tool.log"), copy_ + "\n--pipename=C0FFEE-1\n--end--\n");
  ASSERT_TRUE(wendtest::waitUntil([&] { return !wendtest::readFile(copy_ + ".ran").empty(); }));
  EXPECT_EQ(wendtest::readFile(copy_ + ".ran"),
            copy_ + "\n--pipename=C0FFEE-1\nuid=" + std::to_string(getuid()) + "\n");
  EXPECT_TRUE(logger_.records().empty());
}

// Cancel, denial and a missing tool are rows of MessageGatewayTest; a copy that cannot run is
// the tool's 127 as well.
TEST_F(MessageGatewayMacTest, CopyThatCannotRunIsRefusedAndStartsNothing) {
  chmod(copy_.c_str(), 0644);
  EXPECT_FALSE(MessageGatewayMac::launchPrivilegedHelper("C0FFEE-2", copy_));
  ASSERT_EQ(logger_.records().size(), 1u);
  EXPECT_EQ(logger_.records()[0].level, pando::kLogError);
  EXPECT_EQ(logger_.records()[0].component, "MessageGatewayMac");
  EXPECT_EQ(logger_.records()[0].message, "Unable to copy authorization rights (127)");
  EXPECT_EQ(access((copy_ + ".ran").c_str(), F_OK), -1);
  EXPECT_EQ(access((folder_ / "tool.log").c_str(), F_OK), -1);
}

// The tool turns into the copy, which goes on running: the launch returns once it has started.
TEST_F(MessageGatewayMacTest, ACopyThatKeepsRunningIsReportedStartedAtOnce) {
  std::ofstream(copy_) << "#!/bin/sh\necho $$ > \"$0.ran\"\nexec sleep 600\n";
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(MessageGatewayMac::launchPrivilegedHelper("C0FFEE-3", copy_));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
  ASSERT_TRUE(wendtest::waitUntil([&] { return !wendtest::readFile(copy_ + ".ran").empty(); }));
  EXPECT_EQ(kill(std::stoi(wendtest::readFile(copy_ + ".ran")), SIGKILL), 0);
}

}  // namespace
}  // namespace mediation
