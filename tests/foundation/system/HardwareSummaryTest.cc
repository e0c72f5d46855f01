#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/system/HardwareSummary.h"
#include "platform/ConsoleUser.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace HardwareUtils {
namespace {

// Answers as set up; every probe fails by default.
struct FakeProbes final : HardwareProbes {
  std::optional<OSVersion> version;
  std::optional<int> bits;
  std::optional<VolumeMap> volumes;
  std::optional<std::string> drive, ram;
  ProcessorMap processor;
  std::optional<std::vector<DisplayRecord>> displays;
  std::string openGL = "0";
  float scale = 1.0f;
  bool throwing = false;

  bool osVersion(OSVersion& out) const override {
    if (throwing) throw std::runtime_error("probe broke");
    if (version) out = *version;
    return version.has_value();
  }
  bool osBitness(int& out) const override {
    if (bits) out = *bits;
    return bits.has_value();
  }
  bool freeSpaceOnVolumes(VolumeMap& out) const override {
    if (volumes) out = *volumes;
    return volumes.has_value();
  }
  bool systemDrive(std::string& out) const override {
    if (drive) out = *drive;
    return drive.has_value();
  }
  bool machineRAM(std::string& out) const override {
    if (ram) out = *ram;
    return ram.has_value();
  }
  bool cpuDetails(ProcessorMap& out) const override {
    out = processor;
    return true;
  }
  bool gpuDetails(std::vector<DisplayRecord>& out, std::string& gl) const override {
    gl = openGL;
    if (displays) out = *displays;
    return displays.has_value();
  }
  float screenScaleFactor() const override { return scale; }
};

class HardwareSummaryTest : public ::testing::Test {
 protected:
  std::string fetch(const FakeProbes& probes, bool expected = true) {
    std::string json = "stale";
    EXPECT_EQ(HardwareSummary(probes).fetch(json, &log_), expected);
    return json;
  }
  std::string summaryFolder() const { return root_.path() + home_ + "/.local/state/Skyloom/Tarn"; }
  std::string written() const {
    return wendtest::readFile(summaryFolder() + "/hardwareConfig.json");
  }
  bool logged(const std::string& message) const { return log_.has(pando::kLogError, message); }

  wendtest::TemporaryFolder root_;
  wendtest::ScopedEnv wendRoot_{"WEND_ROOT", root_.path()};
  wendtest::ScopedEnv consoleUid_{"WEND_CONSOLE_UID", std::to_string(getuid())};
  wendtest::ScopedEnv stateHome_{"XDG_STATE_HOME", std::nullopt};
  std::string home_ = [] {
    platform::ConsoleUser user;
    return platform::findUser(getuid(), user) ? user.home : std::string();
  }();
  wendtest::CapturingLogger log_;
};

TEST_F(HardwareSummaryTest, WithEveryProbeFailingOnlyTheTypeAndScaleRemain) {
  const std::string json = fetch(FakeProbes{});
  EXPECT_EQ(json, "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n");
  EXPECT_EQ(written(), json);
  for (const char* probe : {"GetCurrentOSVersion", "GetCurrentOSBitness", "GetFreeSpaceOnHD",
                            "GetMachineRAM", "GetCPUDetails", "GetGPUDetails"}) {
    EXPECT_TRUE(
        logged(std::string("In HardwareUtils::FetchHardwareSummary. ") + probe + " API Failed"))
        << probe;
  }
  struct stat info {};
  ASSERT_EQ(stat(summaryFolder().c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, getuid());
}

TEST_F(HardwareSummaryTest, EveryMemberInTheWritersOrder) {
  FakeProbes probes;
  probes.version = OSVersion{10, 11, 6};
  probes.bits = 64;
  probes.volumes = VolumeMap{{"Data", "12.50"}, {"Mac", "120.53"}};
  probes.drive = "Macintosh HD";  // "Mac" is part of it, so it counts as primary too
  probes.ram = "16";
  probes.processor = {
      {"name", "Intel(R) Core(TM) i7"}, {"numberOfCores", "4"}, {"frequencyInGHz", "2.70"}};
  probes.displays = std::vector<DisplayRecord>{{{"gpuModelName", "Radeon"},
                                                {"vRAMInMB", "2000"},
                                                {"widthInPixels", "2560"},
                                                {"heightInPixels", "1600"},
                                                {"isPrimary", "true"}},
                                               {{"gpuModelName", "Radeon"},
                                                {"vRAMInMB", "2000"},
                                                {"widthInPixels", "1440"},
                                                {"heightInPixels", "900"},
                                                {"isPrimary", "false"}}};
  probes.openGL = "4";
  probes.scale = 2.0f;
  EXPECT_EQ(fetch(probes),
            "{\"displays\":[{\"gpuModelName\":\"Radeon\",\"heightInPixels\":\"1600\","
            "\"isPrimary\":\"true\",\"vRAMInMB\":\"2000\",\"widthInPixels\":\"2560\"},"
            "{\"gpuModelName\":\"Radeon\",\"heightInPixels\":\"900\",\"isPrimary\":\"false\","
            "\"vRAMInMB\":\"2000\",\"widthInPixels\":\"1440\"}],"
            "\"dpiRatio\":\"2.000000\",\"openGLVersion\":\"4\","
            "\"os\":{\"architecture\":\"64\",\"name\":\"Mac OS 10.11.6\",\"type\":\"mac\","
            "\"version\":\"10.11.6\"},"
            "\"processor\":{\"frequencyInGHz\":\"2.70\",\"name\":\"Intel(R) Core(TM) i7\","
            "\"numberOfCores\":\"4\"},\"ramInGB\":\"16\","
            "\"volumes\":[{\"freeSpaceInGB\":\"12.50\",\"isPrimary\":\"false\",\"name\":\"Data\"},"
            "{\"freeSpaceInGB\":\"120.53\",\"isPrimary\":\"true\",\"name\":\"Mac\"}]}\n");
  EXPECT_TRUE(log_.records().empty());
}

// Graphics without displays still give the OpenGL level; volumes without the root's name give
// none; an empty memory text counts as a failure.
TEST_F(HardwareSummaryTest, PartialAnswersLeaveOnlyTheirOwnMembersOut) {
  FakeProbes probes;
  probes.volumes = VolumeMap{{"Data", "1.00"}};
  probes.ram = "";
  probes.displays = std::vector<DisplayRecord>{};
  EXPECT_EQ(fetch(probes),
            "{\"dpiRatio\":\"1.000000\",\"openGLVersion\":\"0\",\"os\":{\"type\":\"mac\"}}\n");
  EXPECT_TRUE(logged("In HardwareUtils::FetchHardwareSummary. GetSystemDrive API Failed"));
  EXPECT_TRUE(logged("In HardwareUtils::FetchHardwareSummary. GetMachineRAM API Failed"));
  EXPECT_FALSE(logged("In HardwareUtils::FetchHardwareSummary. GetGPUDetails API Failed"));
}

TEST_F(HardwareSummaryTest, AReadableMarkerIsTheWholeSummary) {
  std::filesystem::create_directories(summaryFolder());
  wendtest::writeFile(summaryFolder() + "/HWCheckMarker.trace", "{not json at all");
  EXPECT_EQ(fetch(FakeProbes{}), "{not json at all");
  EXPECT_FALSE(wendtest::existsNoFollow(summaryFolder() + "/hardwareConfig.json"));
  EXPECT_TRUE(log_.has(pando::kLogInfo, "Loading local file HWCheckMarker.trace..."));
  EXPECT_EQ(log_.records().size(), 1u);

  // A marker that cannot be read as a file, or is a link to one, leads to the normal summary.
  const std::string marker = summaryFolder() + "/HWCheckMarker.trace";
  std::remove(marker.c_str());
  ASSERT_EQ(symlink((summaryFolder() + "/elsewhere").c_str(), marker.c_str()), 0);
  wendtest::writeFile(summaryFolder() + "/elsewhere", "someone else's file");
  EXPECT_EQ(fetch(FakeProbes{}), "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n");
  std::remove(marker.c_str());
  ASSERT_EQ(mkdir(marker.c_str(), 0700), 0);
  EXPECT_EQ(fetch(FakeProbes{}), "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n");
  EXPECT_EQ(written(), "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n");
}

TEST_F(HardwareSummaryTest, FolderAndFileFailuresKeepTheText) {
  const std::string logs = root_.path() + home_ + "/.local/state";
  std::filesystem::create_directories(logs);
  wendtest::writeFile(logs + "/Skyloom", "a file where the folder belongs");
  EXPECT_EQ(fetch(FakeProbes{}), "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n");
  EXPECT_TRUE(logged("In HardwareUtils::FetchHardwareSummary. Failed to create directory at path " +
                     summaryFolder()));

  std::remove((logs + "/Skyloom").c_str());
  std::filesystem::create_directories(summaryFolder() + "/hardwareConfig.json/x");
  fetch(FakeProbes{});
  EXPECT_TRUE(
      logged("In HardwareUtils::FetchHardwareSummary. CreateFileWithContentAtPath API "
             "Failed"));
}

TEST_F(HardwareSummaryTest, AnEscapingExceptionFailsTheSummary) {
  FakeProbes probes;
  probes.throwing = true;
  fetch(probes, false);
  EXPECT_TRUE(logged("In HardwareUtils::FetchHardwareSummary. Exception in fetching summary."));
}

}  // namespace
}  // namespace HardwareUtils
