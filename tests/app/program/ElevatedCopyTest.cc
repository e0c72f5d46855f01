// The installer's elevated copy, run as the built program under a private WEND_ROOT, with this
// test as the user's process at the other end of its channel.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/text/StringUtils.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "tests/core/launch/support/ProgramRun.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using mediation::CommunicationBridge;

constexpr char kEndBanner[] = "*********************** Workflow end. Version: ";

// The folders directly in `folder`.
std::vector<std::string> foldersIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_directory() && !entry.is_symlink()) names.push_back(entry.path().filename());
  }
  return names;
}

std::string lastLine(const std::string& text) {
  const size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return "";
  const size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end + 1);
}

class ElevatedCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the elevated copy runs as root";
    fs::create_directories(root_ / "tmp");
    ASSERT_TRUE(StringUtils::utilCreateUUIDString(channel_));
    ASSERT_EQ(CommunicationBridge::createPipes(channel_), CommunicationBridge::kOk);
  }
  void TearDown() override {
    if (channel_.empty()) return;
    for (const char* side : {"_IN", "_OUT"}) unlink(("/tmp/" + channel_ + side).c_str());
  }

  std::unique_ptr<wendtest::ProgramRun> startCopy() {
    wendtest::ProgramRun::Changes changes = wendtest::privateRootChanges(root_.path());
    changes.insert({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    return std::make_unique<wendtest::ProgramRun>(
        std::vector<std::string>{WEND_INSTALL_BUNDLE "/Contents/MacOS/Install",
                                 "--pipename=" + channel_},
        changes);
  }

  // The copy makes its private temporary folder before it waits for the link.
  bool temporaryFolderMade() const { return foldersIn(root_ / "tmp").size() == 1; }

  std::string logText() const {
    return wendtest::readFile(wendtest::consoleUserLog(root_.path()));
  }

  wendtest::TemporaryFolder root_;
  std::string channel_;
};

// SIGTERM, while the copy waits for the user's process and once the two are linked, ends the
// copy as a quit does: at once, with status 0, its temporary folder removed and the log closed
// with its end banner.
TEST_F(ElevatedCopy, ATerminationSignalEndsItAsAQuit) {
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "linked" : "waiting for the link");
    std::unique_ptr<wendtest::ProgramRun> copy = startCopy();
    CommunicationBridge user;
    if (linked) {
      ASSERT_EQ(user.initCommBridge(1, channel_, true, 20000), CommunicationBridge::kConnected);
    }
    ASSERT_TRUE(wendtest::waitUntil([&] { return temporaryFolderMade(); }));
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(copy->pid(), SIGTERM), 0);
    EXPECT_EQ(copy->finish(), 0);
    // Far below the minute the copy would otherwise wait for its peer.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(30));
    EXPECT_EQ(foldersIn(root_ / "tmp"), std::vector<std::string>{});
    EXPECT_NE(lastLine(logText()).find(kEndBanner), std::string::npos) << lastLine(logText());
    user.closeBridge();
  }
}

}  // namespace
