#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/system/HardwareSummary.h"
#include "platform/system/ConsoleUser.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace HardwareUtils {
namespace {

constexpr char kBare[] = "{\"dpiRatio\":\"1.000000\",\"os\":{\"type\":\"mac\"}}\n";

template <typename T>
bool answer(const std::optional<T>& value, T& out) {
  if (value) out = *value;
  return value.has_value();
}

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
    return answer(version, out);
  }
  bool osBitness(int& out) const override { return answer(bits, out); }
  bool freeSpaceOnVolumes(VolumeMap& out) const override { return answer(volumes, out); }
  bool systemDrive(std::string& out) const override { return answer(drive, out); }
  bool machineRAM(std::string& out) const override { return answer(ram, out); }
  bool cpuDetails(ProcessorMap& out) const override {
    out = processor;
    return true;
  }
  bool gpuDetails(std::vector<DisplayRecord>& out, std::string& gl) const override {
    gl = openGL;
    return answer(displays, out);
  }
  float screenScaleFactor() const override { return scale; }
};

DisplayRecord display(const char* width, const char* height, const char* primary) {
  return {{"gpuModelName", "Radeon"},
          {"vRAMInMB", "2000"},
          {"widthInPixels", width},
          {"heightInPixels", height},
          {"isPrimary", primary}};
}

class HardwareSummaryTest : public ::testing::Test {
 protected:
  std::string fetch(const FakeProbes& probes, bool expected = true) {
    std::string json = "stale";
    EXPECT_EQ(HardwareSummary(probes).fetch(json, &log_), expected);
    return json;
  }
  std::string folder() const { return root_.path() + home_ + "/.local/state/Skyloom/Tarn"; }
  std::string written() const { return wendtest::readFile(folder() + "/hardwareConfig.json"); }
  bool failed(const std::string& what) const {
    return log_.has(pando::kLogError, "In HardwareUtils::FetchHardwareSummary. " + what);
  }

  wendtest::TemporaryFolder root_;
  wendtest::ScopedEnv wendRoot_{"WEND_ROOT", root_.path()}, stateHome_{"XDG_STATE_HOME", {}},
      consoleUid_{"WEND_CONSOLE_UID", std::to_string(getuid())};
  std::string home_ = [] {
    platform::ConsoleUser user;
    return platform::findUser(getuid(), user) ? user.home : std::string();
  }();
  wendtest::CapturingLogger log_;
};

TEST_F(HardwareSummaryTest, WithEveryProbeFailingOnlyTheTypeAndScaleRemain) {
  EXPECT_EQ(fetch(FakeProbes{}), kBare);
  EXPECT_EQ(written(), kBare);
  for (const char* probe : {"GetCurrentOSVersion", "GetCurrentOSBitness", "GetFreeSpaceOnHD",
                            "GetMachineRAM", "GetCPUDetails", "GetGPUDetails"}) {
    EXPECT_TRUE(failed(std::string(probe) + " API Failed")) << probe;
  }
  EXPECT_EQ(wendtest::statOf(folder()).st_uid, getuid());
}

TEST_F(HardwareSummaryTest, EveryMemberInTheWritersOrder) {
  FakeProbes probes;
  probes.version = OSVersion{10, 11, 6};
  probes.bits = 64;
  probes.volumes = VolumeMap{{"Data", "12.50"}, {"Mac", "120.53"}};
  probes.drive = "Macintosh HD";  // "Mac" is part of it, so it counts as primary too
  probes.ram = "16";
  probes.processor = {{"name", "i7"}, {"numberOfCores", "4"}, {"frequencyInGHz", "2.70"}};
  probes.displays = {display("2560", "1600", "true"), display("1440", "900", "false")};
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
            "\"processor\":{\"frequencyInGHz\":\"2.70\",\"name\":\"i7\",\"numberOfCores\":\"4\"},"
            "\"ramInGB\":\"16\","
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
  EXPECT_TRUE(failed("GetSystemDrive API Failed"));
  EXPECT_TRUE(failed("GetMachineRAM API Failed"));
  EXPECT_FALSE(failed("GetGPUDetails API Failed"));
}

// A readable marker is the whole summary; one that is a link or a folder leads to the normal one.
TEST_F(HardwareSummaryTest, AReadableMarkerIsTheWholeSummary) {
  const std::string marker = folder() + "/HWCheckMarker.trace";
  std::filesystem::create_directories(folder());
  wendtest::writeFile(marker, "{not json at all");
  EXPECT_EQ(fetch(FakeProbes{}), "{not json at all");
  EXPECT_FALSE(wendtest::existsNoFollow(folder() + "/hardwareConfig.json"));
  EXPECT_TRUE(log_.has(pando::kLogInfo, "Loading local file HWCheckMarker.trace..."));

  std::remove(marker.c_str());
  wendtest::writeFile(folder() + "/elsewhere", "someone else's file");
  ASSERT_EQ(symlink((folder() + "/elsewhere").c_str(), marker.c_str()), 0);
  EXPECT_EQ(fetch(FakeProbes{}), kBare);
  std::remove(marker.c_str());
  ASSERT_EQ(mkdir(marker.c_str(), 0700), 0);
  EXPECT_EQ(fetch(FakeProbes{}), kBare);
}

TEST_F(HardwareSummaryTest, FailuresKeepTheTextOrFailTheSummary) {
  const std::string state = root_.path() + home_ + "/.local/state";
  std::filesystem::create_directories(state);
  wendtest::writeFile(state + "/Skyloom", "a file where the folder belongs");
  EXPECT_EQ(fetch(FakeProbes{}), kBare);
  EXPECT_TRUE(failed("Failed to create directory at path " + folder()));

  std::remove((state + "/Skyloom").c_str());
  std::filesystem::create_directories(folder() + "/hardwareConfig.json/x");
  EXPECT_EQ(fetch(FakeProbes{}), kBare);
  EXPECT_TRUE(failed("CreateFileWithContentAtPath API Failed"));

  FakeProbes throwing;
  throwing.throwing = true;
  fetch(throwing, false);
  EXPECT_TRUE(failed("Exception in fetching summary."));
}

}  // namespace
}  // namespace HardwareUtils
