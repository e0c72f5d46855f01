#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "foundation/system/SystemHardwareProbes.h"
#include "tests/foundation/system/support/DisplaysReport.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace HardwareUtils {
namespace {

constexpr char kTwoCoresFourThreads[] =
    "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i7-7820HQ CPU @ 2.90GHz\n"
    "cpu MHz\t\t: 2700.001\nphysical id\t: 0\ncore id\t\t: 0\n\n"
    "processor\t: 1\nmodel name\t: Intel(R) Core(TM) i7-7820HQ CPU @ 2.90GHz\n"
    "cpu MHz\t\t: 3100.000\nphysical id\t: 0\ncore id\t\t: 1\n\n"
    "processor\t: 2\nphysical id\t: 0\ncore id\t\t: 0\n\n"
    "processor\t: 3\nphysical id\t: 0\ncore id\t\t: 1\n";

TEST(SystemHardwareProbesTest, ProcessorFromCpuInfo) {
  struct Case {
    std::string text;
    ProcessorMap expected;
  } cases[] = {
      {kTwoCoresFourThreads,
       {{"name", "Intel(R) Core(TM) i7-7820HQ CPU @ 2.90GHz"},
        {"numberOfCores", "2"},
        {"frequencyInGHz", "2.70"}}},
      // Beyond 2^32 Hz: the frequency is 64-bit.
      {"processor : 0\nprocessor : 1\ncpu MHz : 5200.0\n",
       {{"numberOfCores", "2"}, {"frequencyInGHz", "5.20"}}},
      {"", {}},
      {"garbage without fields\ncpu MHz : fast\n", {}},
  };
  for (const Case& c : cases) {
    ProcessorMap processor;
    SystemHardwareProbes::readCpuInfo(c.text, processor);
    EXPECT_EQ(processor, c.expected) << c.text;
  }
}

TEST(SystemHardwareProbesTest, MemoryInWholeGibibytes) {
  wendtest::TemporaryFolder folder;
  struct Case {
    const char* memInfo;
    std::optional<std::string> gibibytes;
  } cases[] = {
      {"MemFree: 1 kB\nMemTotal:       16303676 kB\n", "16"},  // 15.55 GiB after firmware
      {"MemTotal: 8388608 kB\n", "8"},
      {"MemTotal: 7759462 kB\n", "7"},  // 7.4 GiB
      {"MemTotal: 12345\n", std::nullopt},
      {"MemFree: 1 kB\n", std::nullopt},
  };
  for (const Case& c : cases) {
    wendtest::writeFile(folder / "meminfo", c.memInfo);
    HardwareSources sources;
    sources.memInfoPath = folder / "meminfo";
    std::string text = "untouched";
    EXPECT_EQ(SystemHardwareProbes(sources).machineRAM(text), c.gibibytes.has_value());
    EXPECT_EQ(text, c.gibibytes.value_or("untouched")) << c.memInfo;
  }
  HardwareSources missing;
  missing.memInfoPath = folder / "none";
  std::string text;
  EXPECT_FALSE(SystemHardwareProbes(missing).machineRAM(text));
}

TEST(SystemHardwareProbesTest, SystemDriveFromTheRootMount) {
  std::string name;
  EXPECT_TRUE(
      SystemHardwareProbes::readRootDevice("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                           "23 22 0:5 / /dev rw - devtmpfs udev rw\n"
                                           "24 22 0:30 / / rw master:2 - overlay overlay rw\n",
                                           name));
  EXPECT_EQ(name, "overlay");
  EXPECT_TRUE(
      SystemHardwareProbes::readRootDevice("22 1 259:2 / / rw - btrfs /dev/nvme0n1p2 rw\n", name));
  EXPECT_EQ(name, "nvme0n1p2");
  name = "untouched";
  EXPECT_FALSE(SystemHardwareProbes::readRootDevice("23 22 0:5 / /dev rw - devtmpfs udev\n", name));
  EXPECT_FALSE(SystemHardwareProbes::readRootDevice("22 1 8:1 / / rw shared:1\n", name));
  EXPECT_EQ(name, "untouched");
}

TEST(SystemHardwareProbesTest, FreeSpaceOfEveryVolumeUnderTheVolumesRoot) {
  wendtest::TemporaryFolder root;
  wendtest::ScopedEnv wendRoot("WEND_ROOT", root.path());
  VolumeMap volumes;
  EXPECT_FALSE(SystemHardwareProbes().freeSpaceOnVolumes(volumes));  // no /media at all
  std::filesystem::create_directories(root / "media");
  EXPECT_FALSE(SystemHardwareProbes().freeSpaceOnVolumes(volumes));  // no volume in it
  std::filesystem::create_directories(root / "media/Data");
  std::filesystem::create_directories(root / "media/Backup Disk");
  ASSERT_TRUE(SystemHardwareProbes().freeSpaceOnVolumes(volumes));
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes.begin()->first, "Backup Disk");
  for (const auto& [name, freeSpace] : volumes) {
    EXPECT_GT(std::stod(freeSpace), 0.0) << name;
    EXPECT_EQ(freeSpace.size() - freeSpace.find('.'), 3u) << freeSpace;  // two decimals
  }
}

TEST(SystemHardwareProbesTest, OperatingSystemAsThisBuildStandsForIt) {
  OSVersion version;
  {
    wendtest::ScopedEnv unset("WEND_OS_VERSION", std::nullopt);
    ASSERT_TRUE(SystemHardwareProbes().osVersion(version));
    EXPECT_EQ(version.majorVersion * 10000 + version.minorVersion * 100 + version.patchVersion,
              101507);
  }
  wendtest::ScopedEnv older("WEND_OS_VERSION", "10.11.6");
  ASSERT_TRUE(SystemHardwareProbes().osVersion(version));
  EXPECT_EQ(version.minorVersion, 11);
  int bits = 0;
  ASSERT_TRUE(SystemHardwareProbes().osBitness(bits));
  EXPECT_EQ(bits, sizeof(void*) * 8);
}

TEST(SystemHardwareProbesTest, ScreenScaleIsOneWithoutADisplay) {
  wendtest::ScopedEnv noX11("DISPLAY", std::nullopt), noWayland("WAYLAND_DISPLAY", std::nullopt);
  wendtest::ScopedEnv scale("GDK_SCALE", "2");
  EXPECT_EQ(SystemHardwareProbes().screenScaleFactor(), 1.0f);
  wendtest::ScopedEnv display("DISPLAY", ":0");
  EXPECT_EQ(SystemHardwareProbes().screenScaleFactor(), 2.0f);
}

// The profiler's standard error is drained apart: chatter there, more than a pipe holds, neither
// blocks the tool nor reaches the parser.
TEST(SystemHardwareProbesTest, GraphicsFromTheSystemProfilersOutputAlone) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "report.xml", wendtest::displaysReport());
  wendtest::ScopedEnv tool("WEND_TOOL_SYSTEM_PROFILER", WEND_FAKE_SYSTEM_PROFILER);
  wendtest::ScopedEnv report("WEND_FAKE_SYSTEM_PROFILER_REPORT", folder / "report.xml");
  wendtest::ScopedEnv noise("WEND_FAKE_SYSTEM_PROFILER_NOISE", "300000");
  std::vector<DisplayRecord> displays;
  std::string openGL;
  ASSERT_TRUE(SystemHardwareProbes().gpuDetails(displays, openGL));
  EXPECT_EQ(displays.size(), 3u);
  EXPECT_EQ(openGL, "0");

  for (const char* failure : {"exit", "missing"}) {
    wendtest::ScopedEnv exit("WEND_FAKE_SYSTEM_PROFILER_EXIT",
                             std::string(failure) == "exit" ? "1" : "0");
    wendtest::ScopedEnv path("WEND_TOOL_SYSTEM_PROFILER", std::string(failure) == "exit"
                                                              ? WEND_FAKE_SYSTEM_PROFILER
                                                              : folder / "no-such-tool");
    displays.clear();
    openGL.clear();
    EXPECT_FALSE(SystemHardwareProbes().gpuDetails(displays, openGL)) << failure;
    EXPECT_TRUE(displays.empty());
    EXPECT_EQ(openGL, "0");
  }
}

}  // namespace
}  // namespace HardwareUtils
