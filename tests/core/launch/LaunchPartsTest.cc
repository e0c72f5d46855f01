#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/launch/LaunchModes.h"
#include "core/launch/LaunchSettings.h"
#include "core/launch/ProcessWatch.h"
#include "core/launch/ProductNotification.h"
#include "tests/core/launch/support/ProgramRun.h"
#include "tests/support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(ProcessWatchTest, OnlyAnExistingSingleProcessRuns) {
  EXPECT_TRUE(isProcessRunning(getpid()));
  EXPECT_TRUE(isProcessRunning(1)) << "another user's process runs too";
  for (int pid : {0, -1, -2}) EXPECT_FALSE(isProcessRunning(pid)) << pid;
  wendtest::Sleeper ended;
  const int pid = ended.pid();
  ended.end();
  EXPECT_FALSE(isProcessRunning(pid));
}

TEST(ProcessWatchTest, NotificationGivesUpOnAProductThatRunsOn) {
  LaunchSettings settings;
  settings.productPoll = std::chrono::milliseconds(1);
  settings.productCheckLimit = 20;
  wendtest::Sleeper product;
  waitForProductExit(product.pid(), true, settings);
  EXPECT_TRUE(isProcessRunning(product.pid())) << "gave up, the product still runs";
}

TEST(RelaunchCopyTest, OnlyADirectUuidChildOfTheTemporaryFolderIsTheCopy) {
  wendtest::TemporaryFolder root;
  const std::string temporary = root / "tmp";
  const std::string uuid = "0F8C1D2E-3A4B-4C5D-8E9F-A0B1C2D3E4F5";
  const std::vector<std::pair<std::string, bool>> cases = {
      {temporary + "/" + uuid, true},
      {temporary + "/0f8c1d2e-3a4b-4c5d-8e9f-a0b1c2d3e4f5", true},
      {temporary + "/nested/" + uuid, false},
      {temporary + "/0F8C1D2E_3A4B-4C5D-8E9F-A0B1C2D3E4F5", false},
      {temporary + "/0F8C1D2E-3A4B-4C5D-8E9F-A0B1C2D3E4F", false},
      {temporary + "/" + uuid + "0", false},
      {root / uuid, false},
      {temporary, false},
  };
  for (const auto& [folder, copy] : cases) {
    fs::create_directories(folder);
    EXPECT_EQ(isRelaunchCopyFolder(folder, temporary), copy) << folder;
  }
  EXPECT_FALSE(isRelaunchCopyFolder(temporary + "/AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA", temporary))
      << "a folder that does not exist";
  fs::create_symlink(temporary, root / "link");
  EXPECT_TRUE(isRelaunchCopyFolder(root / ("link/" + uuid), temporary)) << "resolved first";
}

TEST(NotificationTest, BodyComesFromTheDictionaryOrIsEmpty) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"TarnLaunchNotificationBody": {"message": "Open Skyloom"}})", "Open Skyloom"},
      {"// comments are allowed\n{\"tarnlaunchnotificationbody\": {\"MESSAGE\": \"any case\"}}",
       "any case"},
      {R"({"TarnLaunchNotificationBody": {"message": 7}})", "7"},
      {R"({"TarnLaunchNotificationBody": {"message": {"text": "x"}}})", ""},
      {R"({"TarnLaunchNotificationBody": ["message"]})", ""},
      {R"({"TarnLaunchNotificationBody": "message"})", ""},
      {R"(["TarnLaunchNotificationBody"])", ""},
      {"{ not json", ""},
      {"", ""},
  };
  for (const auto& [json, body] : cases) EXPECT_EQ(notificationBody(json), body) << json;
}

}  // namespace
