#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "download/engine/common/EngineLog.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace gde {
namespace {

class EngineLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WEND_ROOT", root.path().c_str(), 1);
    ::setenv("WEND_CONSOLE_UID", std::to_string(consoleUid()).c_str(), 1);
    ::unsetenv("XDG_STATE_HOME");
  }
  void TearDown() override {
    while (EngineLog::isOpen()) EngineLog::close();
    ::unsetenv("WEND_ROOT");
    ::unsetenv("WEND_CONSOLE_UID");
  }

  // As root the log belongs to another user at the console, as it does for an elevated copy.
  static uid_t consoleUid() { return ::geteuid() == 0 ? wendtest::otherUser() : ::getuid(); }

  std::filesystem::path logFolder() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
      if (entry.is_directory() && entry.path().filename() == "OrvelDownload") return entry.path();
    }
    return {};
  }

  wendtest::TemporaryFolder root;
};

TEST_F(EngineLogTest, OpeningCreatesTheLogFolderOfTheConsoleUser) {
  ASSERT_TRUE(EngineLog::open());
  const std::filesystem::path folder = logFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.parent_path().filename(), "Tarn");
  EXPECT_EQ(folder.parent_path().parent_path().filename(), "Skyloom");
  for (const std::filesystem::path& made :
       {folder.parent_path().parent_path(), folder.parent_path(), folder}) {
    struct stat info {};
    ASSERT_EQ(::lstat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, consoleUid()) << made;
    EXPECT_EQ(info.st_mode & 07777, 0700u) << made;
  }
  EngineLog::close();
}

TEST_F(EngineLogTest, InfoLinesReachDlmLogWhileItIsOpen) {
  ASSERT_TRUE(EngineLog::open());
  engineLog(pando::kLogInfo, "EngineLogTest", "written %d", 1);
  engineLog(pando::kLogTrace, "EngineLogTest", "below the threshold");
  EngineLog::close();
  engineLog(pando::kLogError, "EngineLogTest", "after the last close");
  const std::string text = wendtest::readFile((logFolder() / "DLM.log").string());
  EXPECT_NE(text.find("written 1"), std::string::npos) << text;
  EXPECT_NE(text.find("EngineLogTest"), std::string::npos) << text;
  EXPECT_EQ(text.find("below the threshold"), std::string::npos) << text;
  EXPECT_EQ(text.find("after the last close"), std::string::npos) << text;
}

TEST_F(EngineLogTest, TheLastReferenceClosesTheLog) {
  ASSERT_TRUE(EngineLog::open());
  ASSERT_TRUE(EngineLog::open());
  EngineLog::close();
  EXPECT_TRUE(EngineLog::isOpen());
  EngineLog::close();
  EXPECT_FALSE(EngineLog::isOpen());
  EngineLog::close();  // an extra close changes nothing
  EXPECT_FALSE(EngineLog::isOpen());
  ASSERT_TRUE(EngineLog::open());
  EXPECT_TRUE(EngineLog::isOpen());
  EngineLog::close();
}

TEST_F(EngineLogTest, ThreadsMayLogWhileReferencesComeAndGo) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> loggers;
  for (int t = 0; t < 4; ++t) {
    loggers.emplace_back([&stop] {
      while (!stop) engineLog(pando::kLogInfo, "EngineLogTest", "line %d", 1);
    });
  }
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([] {
      for (int i = 0; i < 50; ++i) {
        EngineLog::open();
        engineLog(pando::kLogInfo, "EngineLogTest", "client %d", i);
        EngineLog::close();
      }
    });
  }
  for (auto& client : clients) client.join();
  stop = true;
  for (auto& logger : loggers) logger.join();
  EXPECT_FALSE(EngineLog::isOpen());
  const std::string text = wendtest::readFile((logFolder() / "DLM.log").string());
  EXPECT_NE(text.find("client 49"), std::string::npos);
}

}  // namespace
}  // namespace gde
