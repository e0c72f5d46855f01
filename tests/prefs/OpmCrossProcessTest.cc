// Several processes on one database, through the C interface, as wend's two processes use it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "prefs/OpmApi.h"
#include "tests/prefs/support/OpmValues.h"
#include "tests/prefs/support/PrefsEnvironment.h"
#include "tests/support/SelfAsChild.h"

using namespace wendtest;

namespace {

// Another process of the preferences library (see OpmChild.cc).
int runOpmChild(std::vector<std::string> args, std::string* output = nullptr) {
  args.insert(args.begin(), "--opm-child");
  return runSelf(args, output);
}
pid_t startOpmChild(std::vector<std::string> args, int reportFd = -1) {
  args.insert(args.begin(), "--opm-child");
  return startSelf(args, reportFd);
}

class OpmCrossProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!hostHasMachineId()) GTEST_SKIP() << "this host has no machine id";
    ASSERT_EQ(opm_createLibRef(&ref_), OPM_OK);
  }
  void TearDown() override {
    if (ref_) opm_freeLibRef(ref_);
  }
  int get(const char* domain, const char* subdomain, const std::string& key, std::string& out) {
    char* value = nullptr;
    int status = opm_getValue(ref_, domain, subdomain, key.c_str(), &value);
    if (value) out = value;
    opm_freeString(value);
    return status;
  }
  // The database file and its journal, when one is left, are the console user's alone.
  void expectPrivateFiles() {
    for (const std::string& path : {env_.databasePath(), env_.databasePath() + "-journal"}) {
      const FileState file = fileState(path);
      if (!file.exists) continue;
      EXPECT_EQ(file.mode, 0600u) << path;
      EXPECT_EQ(file.owner, geteuid()) << path;
    }
  }

  PrefsEnvironment env_;
  OPMLibRef ref_ = nullptr;
};

TEST_F(OpmCrossProcessTest, WhatOneProcessWritesAnotherReads) {
  const std::string value = "it's \"quoted\" and gr\xc3\xbc\xc3\x9f\x65 \xe6\x97\xa5\xe6\x9c\xac";
  ASSERT_EQ(runOpmChild({"write", "PANDO", "ProxyCredentials", "ProxyPassword", value}), OPM_OK);
  std::string read;
  ASSERT_EQ(get("PANDO", "ProxyCredentials", "ProxyPassword", read), OPM_OK);
  EXPECT_EQ(read, value);

  ASSERT_EQ(opm_setValue(ref_, "PANDO", "ProxyCredentials", "ProxyUsername", "o'neil"), OPM_OK);
  std::string printed;
  EXPECT_EQ(runOpmChild({"read", "PANDO", "ProxyCredentials", "ProxyUsername"}, &printed), OPM_OK);
  EXPECT_EQ(printed, "o'neil");

  EXPECT_EQ(runOpmChild({"remove", "PANDO", "ProxyCredentials", "ProxyUsername"}), OPM_OK);
  EXPECT_EQ(get("PANDO", "ProxyCredentials", "ProxyUsername", read), OPM_NOT_FOUND);
}

TEST_F(OpmCrossProcessTest, TwoWritersAtOnceLoseNothingAndLeaveNoPlainText) {
  constexpr int kCount = 500;
  pid_t first = startOpmChild({"write-many", "A", std::to_string(kCount)});
  pid_t second = startOpmChild({"write-many", "B", std::to_string(kCount)});
  // A reader in the middle of it all waits its turn as well.
  std::string ignored;
  for (int i = 0; i < 50; ++i) {
    int status = get("Many", "Values", "A" + std::to_string(i), ignored);
    EXPECT_TRUE(status == OPM_OK || status == OPM_NOT_FOUND) << status;
  }
  EXPECT_EQ(waitChild(first), OPM_OK);
  EXPECT_EQ(waitChild(second), OPM_OK);

  expectPrivateFiles();
  EXPECT_FALSE(existsNoFollow(env_.databasePath() + "-journal"));
  int lost = 0;
  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < kCount; ++i) {
      std::string key = prefix + std::to_string(i), value;
      if (get("Many", "Values", key, value) != OPM_OK || value != manyValue(key)) ++lost;
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(readFile(env_.databasePath()).find("plain-secret-of-"), std::string::npos);
}

// The writer reports each committed number through a pipe; a torn last report is dropped.
TEST_F(OpmCrossProcessTest, AWriterKilledAtRandomMomentsKeepsEveryCommittedValue) {
  constexpr int kKills = 24;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::set<uint32_t> reported;
  uint32_t next = 0;
  for (int round = 0; round < kKills; ++round) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    pid_t pid = startOpmChild({"write-forever", std::to_string(next)}, fds[1]);
    close(fds[1]);
    // Some kills land while the writer starts; every other one waits for its first commit, so
    // that a slow start on a loaded machine cannot leave every kill before any write.
    if (round % 2 == 1) {
      pollfd ready{fds[0], POLLIN, 0};
      poll(&ready, 1, 10000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 60));
    kill(pid, SIGKILL);
    EXPECT_EQ(waitChild(pid), -1) << "the writer ended by itself";
    const std::string bytes = readToEnd(fds[0]);
    close(fds[0]);
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
      uint32_t i;
      memcpy(&i, bytes.data() + at, 4);
      reported.insert(i);
      next = std::max(next, i + 1);
    }
    expectPrivateFiles();
  }
  ASSERT_FALSE(reported.empty());
  opm_freeLibRef(ref_);
  ASSERT_EQ(opm_createLibRef(&ref_), OPM_OK);  // rolls back what a kill left half done
  for (uint32_t i : reported) {
    std::string value;
    ASSERT_EQ(get("Crash", "Loop", crashKey(i), value), OPM_OK) << i;
    EXPECT_EQ(value, crashValue(i));
  }
  EXPECT_EQ(readFile(env_.databasePath()).find("crash-secret-"), std::string::npos);
}

TEST(OpmInterface, NullsEmptyNamesAndOversizedValuesAreArgumentErrors) {
  PrefsEnvironment env;
  EXPECT_EQ(opm_createLibRef(nullptr), OPM_ARGUMENTS);
  EXPECT_EQ(opm_freeLibRef(nullptr), OPM_ARGUMENTS);
  if (!hostHasMachineId()) GTEST_SKIP() << "this host has no machine id";
  OPMLibRef ref = nullptr;
  ASSERT_EQ(opm_createLibRef(&ref), OPM_OK);
  char* value = nullptr;
  const char* names[][3] = {{nullptr, "S", "K"}, {"D", nullptr, "K"}, {"D", "S", nullptr},
                            {"", "S", "K"},      {"D", "", "K"},      {"D", "S", ""}};
  for (auto& n : names) {
    EXPECT_EQ(opm_setValue(ref, n[0], n[1], n[2], "v"), OPM_ARGUMENTS);
    EXPECT_EQ(opm_getValue(ref, n[0], n[1], n[2], &value), OPM_ARGUMENTS);
    EXPECT_EQ(opm_removeValue(ref, n[0], n[1], n[2]), OPM_ARGUMENTS);
  }
  EXPECT_EQ(opm_setValue(nullptr, "D", "S", "K", "v"), OPM_ARGUMENTS);
  EXPECT_EQ(opm_setValue(ref, "D", "S", "K", nullptr), OPM_ARGUMENTS);
  EXPECT_EQ(opm_getValue(ref, "D", "S", "K", nullptr), OPM_ARGUMENTS);
  std::string mebibyte(1u << 20, 'x');
  EXPECT_EQ(opm_setValue(ref, "D", "S", "K", (mebibyte + "x").c_str()), OPM_ARGUMENTS);
  EXPECT_EQ(opm_setValue(ref, "D", "S", "K", mebibyte.c_str()), OPM_OK);
  EXPECT_EQ(opm_freeLibRef(ref), OPM_OK);
}

}  // namespace
