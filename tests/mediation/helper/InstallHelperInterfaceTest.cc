// The launch and handshake against the stand-in helper (testhelper/orvel_installer.cc), which
// checks what it is sent and misbehaves as TEST_HELPER_FAULT says.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "foundation/logging/LogCallback.h"
#include "foundation/text/StringUtils.h"
#include "mediation/helper/InstallHelperInterface.h"
#include "tests/mediation/helper/support/HelperFixtures.h"
#include "tests/support/Bundle.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/ChildrenOf.h"
#include "tests/support/Environment.h"
#include "tests/support/PrivateRoot.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WaitUntil.h"

namespace mediation {
namespace {

using wendtest::FixedHelperFolders;

class FixedClock final : public pando::WallClock {
 public:
  explicit FixedClock(int64_t seconds) : ms_(seconds * 1000) {}
  int64_t nowMs() const override { return ms_.load(); }
  void set(int64_t seconds) { ms_ = seconds * 1000; }

 private:
  std::atomic<int64_t> ms_;
};

constexpr int64_t kLastMinuteOf2026 = 1798761540;  // 2026-12-31 23:59:00 UTC

std::string uuid() {
  std::string name;
  StringUtils::utilCreateUUIDString(name);
  return name;
}

std::vector<std::string> messages(const wendtest::CapturingLogger& logger) {
  std::vector<std::string> out;
  for (const wendtest::Record& record : logger.records()) {
    if (record.component == "InstallHelperInterface") out.push_back(record.message);
  }
  return out;
}

// Whether one of this process's descriptors is open on `path`.
bool holdsFile(const std::string& path) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
  }
  return false;
}

class InstallHelperInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { setApplicationLogger(&logger_); }
  void TearDown() override {
    transcript_.cleanUp();
    setApplicationLogger(nullptr);
  }

  InstallHelperSettings settings() const {
    InstallHelperSettings settings;
    settings.connectWaitMs = 20000;
    settings.endGrace = std::chrono::milliseconds(2000);
    settings.bridge.openRetryPause = std::chrono::milliseconds(20);
    return settings;
  }
  std::unique_ptr<InstallHelperInterface> helper(
      InstallHelperSettings settings,
      std::unique_ptr<IHelperFolders> folders = systemHelperFolders()) {
    return std::make_unique<InstallHelperInterface>(settings, std::move(folders),
                                                    pando::WallClock::system());
  }
  std::unique_ptr<InstallHelperInterface> helper() { return helper(settings()); }

  wendtest::TemporaryFolder folder_;
  wendtest::CapturingLogger logger_;
  wendtest::HelperTranscript transcript_{folder_ / "transcript"};
  wendtest::ScopedEnv transcriptPath_{"TEST_HELPER_TRANSCRIPT", folder_ / "transcript"};
  wendtest::ScopedEnv peerWait_{"TEST_HELPER_PEER_WAIT_MS", "5000"};
  wendtest::ScopedEnv fault_{"TEST_HELPER_FAULT", std::nullopt};
};

TEST_F(InstallHelperInterfaceTest, TheTokenIsTheDigestOfTheDayFirstMinuteBetweenTheWords) {
  EXPECT_EQ(InstallHelperInterface::authTokenInput(kLastMinuteOf2026 + 30),
            "WHARF31122026:23:59ELM");
  FixedClock clock(kLastMinuteOf2026);
  InstallHelperInterface helper(settings(), systemHelperFolders(), clock);
  // Pinned from md5sum of the 22 bytes.
  EXPECT_EQ(helper.MakeAuthToken(), "45ae282502a538ab933467e9e6a62766");
  clock.set(kLastMinuteOf2026 + 59);
  EXPECT_EQ(helper.MakeAuthToken(), "45ae282502a538ab933467e9e6a62766");
  clock.set(kLastMinuteOf2026 + 60);
  EXPECT_EQ(helper.MakeAuthToken(), "2481a60ae8db6ee31e306e7319228894");
}

TEST_F(InstallHelperInterfaceTest, MessagesAreCheckedExactlyWithOnlyTheirOwnLogLines) {
  // An AUTH_RESP with the given statuses; null leaves the element out.
  auto answer = [](const char* eStatus, const char* signStatus, const char* id = "AUTH_RESP") {
    std::vector<std::pair<std::string, std::string>> children = {{"msgId", id}};
    if (eStatus) children.emplace_back("eStatus", eStatus);
    if (signStatus) children.emplace_back("signStatus", signStatus);
    return InstallHelperInterface::buildMessage(children);
  };
  struct Row {
    const char* name;
    std::string text;
    bool sync, authResp;
    std::vector<std::string> logs;
  };
  const Row rows[] = {
      {"sync", answer(nullptr, nullptr, "SYNC"), true, false, {}},
      {"lower-case sync", answer(nullptr, nullptr, "sync"), false, false, {}},
      {"not xml", "SYNC", false, false, {}},
      {"no msgId", "<msg><id>SYNC</id></msg>", false, false, {}},
      {"answer", answer("true", "true"), false, true, {}},
      {"neither", answer("false", "false"), false, false, {"Install Helper is not elevated"}},
      {"not genuine", answer("true", "false"), false, false, {"Install Helper is not genuine"}},
      {"no signStatus", answer("true", nullptr), false, false, {}},
      {"no eStatus", answer(nullptr, "true"), false, false, {}},
      {"upper-case and empty", answer("TRUE", ""), false, true, {}},
      {"another message", answer("true", "true", "SYNC"), true, false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    logger_.clear();
    EXPECT_EQ(InstallHelperInterface::ValidateSyncPacket(row.text), row.sync);
    EXPECT_EQ(InstallHelperInterface::ValidateAuthRespPacket(row.text), row.authResp);
    EXPECT_EQ(messages(logger_), row.logs);
  }
}

TEST_F(InstallHelperInterfaceTest, AWaitBelowOnePollMakesNoPollAndWritesNothingWithoutAName) {
  auto subject = helper();
  std::string text = "left";
  EXPECT_FALSE(subject->WaitForPacket(text, 9));
  EXPECT_EQ(messages(logger_), std::vector<std::string>{"time out in reading from pipe"});
  logger_.clear();
  // One poll finds no channel.
  EXPECT_FALSE(subject->WaitForPacket(text, 10));
  EXPECT_EQ(messages(logger_), (std::vector<std::string>{"ReadPacket returned error : -4",
                                                         "time out in reading from pipe"}));
  EXPECT_EQ(text, "left");
  EXPECT_FALSE(subject->SendReinit(""));
  EXPECT_FALSE(subject->SendReinit(uuid()));
  EXPECT_FALSE(subject->isElevated());
}

TEST_F(InstallHelperInterfaceTest, LaunchesHandshakeReinitAndASecondInterfaceTakesTheHelperOver) {
  const std::string firstReinit = uuid(), secondReinit = uuid(), desktopReinit = uuid();
  auto launcher = helper();
  ASSERT_TRUE(launcher->LaunchInstallHelper(firstReinit));
  EXPECT_TRUE(launcher->isElevated());
  // The channel is closed again: nothing more can be written on it.
  EXPECT_FALSE(launcher->SendReinit(uuid()));
  ASSERT_TRUE(launcher->LaunchInstallHelper(secondReinit));
  EXPECT_EQ(messages(logger_).front(),
            std::string("Install Helper Path is ") + WEND_TEST_INSTALL_HELPER);
  // The token proves who we are to the helper for a minute: no log line may carry it.
  const time_t now = time(nullptr);
  for (const wendtest::Record& record : logger_.records()) {
    for (time_t minute : {now - 60, now, now + 60}) {
      EXPECT_EQ(record.message.find(InstallHelperInterface::authTokenAt(minute)), std::string::npos)
          << record.message;
    }
  }

  const std::vector<int> helpers = transcript_.helpers();
  ASSERT_EQ(helpers.size(), 2u);
  std::vector<std::string> channels;
  for (size_t i = 0; i < helpers.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(wendtest::waitUntil([&] { return transcript_.of(helpers[i]).size() >= 6; }));
    const std::vector<Json::Value> events = transcript_.of(helpers[i]);
    const std::string channel = events[1]["channel"].asString();
    channels.push_back(channel);
    EXPECT_EQ(channel.size(), 36u);
    ASSERT_EQ(events[0]["args"].size(), 1u);
    EXPECT_EQ(events[0]["args"][0].asString(), "--pipename=" + channel);
    EXPECT_EQ(events[1]["event"].asString(), "connected");
    EXPECT_EQ(events[2]["event"].asString(), "sent SYNC");
    EXPECT_EQ(events[3]["msgId"].asString(), "AUTH");
    EXPECT_EQ(events[3]["sender"].asString(), std::to_string(getpid()));
    EXPECT_EQ(events[3]["type"].asLargestInt(), 10);
    EXPECT_EQ(events[3]["id"].asLargestInt(), 65535);
    EXPECT_EQ(events[4]["event"].asString(), "sent AUTH_RESP");
    EXPECT_EQ(events[5]["msgId"].asString(), "REINIT");
    EXPECT_EQ(events[5]["pipeName"].asString(), i == 0 ? firstReinit : secondReinit);
  }
  EXPECT_NE(channels[0], channels[1]);

  // The user's process: the first helper now serves the REINIT name; no parent check there.
  auto user = helper();
  ASSERT_TRUE(user->Handshake(firstReinit));
  EXPECT_FALSE(user->isElevated());
  EXPECT_FALSE(user->SendReinit(""));
  EXPECT_TRUE(user->SendReinit(desktopReinit));
  ASSERT_TRUE(wendtest::waitUntil([&] { return transcript_.of(helpers[0]).size() >= 11; }));
  const std::vector<Json::Value> events = transcript_.of(helpers[0]);
  EXPECT_EQ(events[6]["channel"].asString(), firstReinit);
  EXPECT_EQ(events[8]["msgId"].asString(), "AUTH");
  EXPECT_EQ(events[10]["msgId"].asString(), "REINIT");
  EXPECT_EQ(events[10]["pipeName"].asString(), desktopReinit);
  EXPECT_EQ(events[10]["type"].asLargestInt(), 10);
  EXPECT_EQ(events[10]["id"].asLargestInt(), 65535);

  // The second helper's channel stays open until the object goes, which must not wait for it.
  auto other = helper();
  ASSERT_TRUE(other->Handshake(secondReinit));
  other.reset();
  EXPECT_TRUE(wendtest::waitUntil([&] { return transcript_.of(helpers[1]).size() >= 10; }));
}

// The user's process hands the helper its next name only when it launches the desktop
// application, after the products' phase: the helper waits for it as long as the installer waits
// for the helper (here scaled down to 36 s), well past its former 10 s.
TEST_F(InstallHelperInterfaceTest, TheHelperWaitsForItsNextNameAsLongAsTheInstallerWaitsForIt) {
  wendtest::ScopedEnv ownWaits("TEST_HELPER_PEER_WAIT_MS", std::nullopt);
  wendtest::ScopedEnv scale("WEND_TIME_SCALE", "0.01");
  const std::string userChannel = uuid(), desktopChannel = uuid();
  ASSERT_TRUE(helper()->LaunchInstallHelper(userChannel));
  auto user = helper();
  ASSERT_TRUE(user->Handshake(userChannel));
  const auto productsPhaseEnd = std::chrono::steady_clock::now() + std::chrono::seconds(12);
  std::this_thread::sleep_until(productsPhaseEnd);
  EXPECT_TRUE(user->SendReinit(desktopChannel));
  EXPECT_TRUE(wendtest::waitUntil([&] {
    for (const Json::Value& line : transcript_.lines()) {
      if (line["pipeName"].asString() == desktopChannel) return true;
    }
    return false;
  })) << "the helper had given up";
}

TEST_F(InstallHelperInterfaceTest, EachFaultFailsWithItsLogLinesAndLeavesNoHelper) {
  using Logs = std::vector<std::string>;
  struct Row {
    const char* fault;
    std::vector<Logs> logs;  // after "Install Helper Path is ...", one of these
    unsigned syncWaitMs = 3'600'000;
  };
  const std::string failed = "Handshake with QuarryHelper failed";
  // A helper that dies is seen either through the bridge's error packet or through its end.
  const std::vector<Logs> died = {
      {"Validation of AUTH_RESP pkt failed", failed},
      {"time out in reading from pipe", "Did not receive AUTH_RESP pkt", failed}};
  const Row rows[] = {
      {"silence", {{"time out in reading from pipe", "Did not receive SYNC pkt.", failed}}, 300},
      {"sync", {{"Validation of SYNC pkt failed!", failed}}},
      {"not-xml", {{"Validation of SYNC pkt failed!", failed}}},
      {"not-elevated",
       {{"Install Helper is not elevated", "Validation of AUTH_RESP pkt failed", failed}}},
      {"not-genuine",
       {{"Install Helper is not genuine", "Validation of AUTH_RESP pkt failed", failed}}},
      {"no-sign-status", {{"Validation of AUTH_RESP pkt failed", failed}}},
      {"refuse-token", died},
      {"die-mid-packet", died},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    logger_.clear();
    wendtest::ScopedEnv fault("TEST_HELPER_FAULT", row.fault);
    InstallHelperSettings settings = this->settings();
    settings.syncWaitMs = row.syncWaitMs;
    auto subject = helper(settings);
    EXPECT_FALSE(subject->LaunchInstallHelper(uuid()));
    EXPECT_FALSE(subject->isElevated());
    std::vector<std::string> logs = messages(logger_);
    ASSERT_FALSE(logs.empty());
    logs.erase(logs.begin());
    EXPECT_THAT(logs, ::testing::AnyOfArray(row.logs));
    EXPECT_TRUE(wendtest::childStates().empty());
  }
  EXPECT_TRUE(transcript_.has("refused"));
  EXPECT_TRUE(transcript_.has("dying"));
}

TEST_F(InstallHelperInterfaceTest, AnAnswerOtherThanFalsePasses) {
  wendtest::ScopedEnv fault("TEST_HELPER_FAULT", "upper-true");
  EXPECT_TRUE(helper()->LaunchInstallHelper(uuid()));
}

TEST_F(InstallHelperInterfaceTest, AnAuthThatFoundNoRoomIsNotSent) {
  const std::string channel = uuid();
  InstallHelperSettings settings = this->settings();
  settings.bridge.writeCallBudget = 2;
  auto subject = helper(settings);
  std::atomic<bool> passed{true}, quit{false};
  subject->setQuitCheck([&] { return quit.load(); });
  std::thread handshake([&] { passed = subject->Handshake(channel); });
  // A failed assertion below still ends and joins the handshake.
  struct Join {
    std::thread& thread;
    std::atomic<bool>& quit;
    ~Join() {
      quit = true;
      if (thread.joinable()) thread.join();
    }
  } join{handshake, quit};

  // The peer, by hand: it reads nothing, so the pipe towards it fills; then SYNC.
  const std::string base = "/tmp/" + channel;
  ASSERT_TRUE(wendtest::waitUntil([&] { return std::filesystem::exists(base + "_IN"); }));
  platform::UniqueFd peerIn(open((base + "_OUT").c_str(), O_RDONLY | O_NONBLOCK));
  platform::UniqueFd peerOut(open((base + "_IN").c_str(), O_WRONLY | O_NONBLOCK));
  ASSERT_TRUE(peerIn.valid() && peerOut.valid());
  ASSERT_TRUE(wendtest::waitUntil([&] { return holdsFile(base + "_OUT"); }));
  platform::UniqueFd filler(open((base + "_OUT").c_str(), O_WRONLY | O_NONBLOCK));
  const std::string block(4096, 'x');
  while (write(filler.get(), block.data(), block.size()) > 0) {
  }
  std::string wire;
  ASSERT_TRUE(encodePacket(InstallHelperInterface::kMessageType, InstallHelperInterface::kMessageId,
                           InstallHelperInterface::buildMessage({{"msgId", "SYNC"}}), wire));
  ASSERT_EQ(write(peerOut.get(), wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
  handshake.join();
  EXPECT_FALSE(passed);
  EXPECT_TRUE(logger_.has(pando::kLogError, "LoomM: error sending AUTH CBPacket : 3"));
  EXPECT_TRUE(logger_.has(pando::kLogWarn, "Could not send AUTH pkt."));
  unlink((base + "_IN").c_str());
  unlink((base + "_OUT").c_str());
}

TEST_F(InstallHelperInterfaceTest, AHelperThatEndsAfterSyncFailsAtOnceAndIsReaped) {
  wendtest::ScopedEnv fault("TEST_HELPER_FAULT", "exit-after-sync");
  auto subject = helper();  // the product's hour and ten minutes
  EXPECT_FALSE(subject->LaunchInstallHelper(uuid()));
  EXPECT_EQ(messages(logger_).back(), "Handshake with QuarryHelper failed");
  EXPECT_TRUE(wendtest::childStates().empty());
}

TEST_F(InstallHelperInterfaceTest, AQuitEndsAnHourLongWait) {
  wendtest::ScopedEnv fault("TEST_HELPER_FAULT", "silence");
  auto subject = helper();
  std::atomic<bool> quit{false};
  subject->setQuitCheck([&] { return quit.load(); });
  // Once this side holds the write end, the connect is over and the SYNC wait has begun.
  std::thread quitter([&] {
    wendtest::waitUntil([&] {
      for (const Json::Value& line : transcript_.lines()) {
        if (line["event"].asString() == "connected" &&
            holdsFile("/tmp/" + line["channel"].asString() + "_OUT")) {
          return true;
        }
      }
      return false;
    });
    quit = true;
  });
  EXPECT_FALSE(subject->LaunchInstallHelper(uuid()));
  quitter.join();
  const std::vector<std::string> logs = messages(logger_);
  EXPECT_NE(std::find(logs.begin(), logs.end(), "Did not receive SYNC pkt."), logs.end());
  EXPECT_TRUE(wendtest::childStates().empty());
}

// The user's process shakes hands with the second helper on a channel it names itself, and waits
// an hour for the helper to open it. A quit ends that wait; a handshake after it, on the same
// channel, still passes once the helper comes.
TEST_F(InstallHelperInterfaceTest, AQuitEndsTheHourLongWaitForTheSecondHelper) {
  const std::string channel = uuid();
  const std::string base = "/tmp/" + channel;
  InstallHelperSettings settings;  // the product's hour
  settings.bridge.openRetryPause = std::chrono::milliseconds(20);
  auto user = helper(settings);
  std::atomic<bool> quit{false};
  user->setQuitCheck([&] { return quit.load(); });
  std::thread quitter([&] {
    wendtest::waitUntil([&] { return std::filesystem::exists(base + "_OUT"); });
    quit = true;
  });
  EXPECT_FALSE(user->Handshake(channel));
  quitter.join();
  EXPECT_EQ(messages(logger_).back(), "Problem initializing Communication Channel.");
  EXPECT_FALSE(holdsFile(base + "_IN"));

  quit = false;
  ASSERT_TRUE(helper()->LaunchInstallHelper(channel));
  EXPECT_TRUE(user->Handshake(channel));
  unlink((base + "_IN").c_str());
  unlink((base + "_OUT").c_str());
}

// A helper that cannot be started, or that ends before it opens its end of the channel: the launch
// fails with its own lines and leaves no process behind.
TEST_F(InstallHelperInterfaceTest, AHelperThatCannotStartOrNeverConnectsFailsTheLaunch) {
  struct Row {
    const char* name;
    mode_t mode;
    std::vector<std::string> logs;  // after "Install Helper Path is ..."
  };
  const Row rows[] = {
      {"not executable", 0644, {"Failed to execute the Install Helper process!"}},
      {"ends at once",
       0755,
       {"Problem initializing Communication Channel.", "Handshake with QuarryHelper failed"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    logger_.clear();
    wendtest::TemporaryFolder place;
    std::filesystem::create_directory(place / "ElevationManager");
    const std::string helperPath = place / "ElevationManager/Orvel Installer";
    wendtest::writeScript(helperPath, "exit 0\n");
    ASSERT_EQ(chmod(helperPath.c_str(), row.mode), 0);
    const std::string channel = uuid();
    InstallHelperInterface subject(settings(),
                                   std::make_unique<FixedHelperFolders>(place.path(), std::nullopt),
                                   pando::WallClock::system(), [&] { return channel; });
    EXPECT_FALSE(subject.LaunchInstallHelper(uuid()));
    EXPECT_FALSE(subject.isElevated());
    std::vector<std::string> logs = messages(logger_);
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs.front(), "Install Helper Path is " + helperPath);
    logs.erase(logs.begin());
    EXPECT_EQ(logs, row.logs);
    EXPECT_TRUE(wendtest::childStates().empty());
    // The channel's named pipes stay, as every channel's do.
    unlink(("/tmp/" + channel + "_IN").c_str());
    unlink(("/tmp/" + channel + "_OUT").c_str());
  }
}

TEST_F(InstallHelperInterfaceTest, FindsTheHelperInTheSharedFolderOrStartsNothing) {
  wendtest::TemporaryFolder root;
  wendtest::PrivateRootEnvironment environment(root.path());
  auto folders = [&] {
    return std::make_unique<FixedHelperFolders>(folder_ / "empty", FixedHelperFolders::kSystem);
  };
  std::string shared;
  ASSERT_TRUE(systemHelperFolders()->sharedComponentsFolder(shared));
  ASSERT_EQ(shared.rfind(root.path(), 0), 0u);
  const std::string planted = shared + "/ElevationManager/Orvel Installer";

  const std::string channel = uuid();
  auto absent = std::make_unique<InstallHelperInterface>(
      settings(), folders(), pando::WallClock::system(), [&] { return channel; });
  EXPECT_FALSE(absent->LaunchInstallHelper(uuid()));
  EXPECT_EQ(messages(logger_),
            std::vector<std::string>{"Install Helper does not exists at path '" + planted + "'"});
  EXPECT_TRUE(wendtest::childStates().empty());
  EXPECT_FALSE(std::filesystem::exists("/tmp/" + channel + "_IN"));
  EXPECT_FALSE(transcript_.has("started"));

  std::filesystem::create_directories(shared + "/ElevationManager");
  std::filesystem::copy_file(WEND_TEST_INSTALL_HELPER, planted);
  logger_.clear();
  auto present = helper(settings(), folders());
  EXPECT_TRUE(present->LaunchInstallHelper(uuid()));
  EXPECT_EQ(messages(logger_).front(), "Install Helper Path is " + planted);
}

}  // namespace
}  // namespace mediation
