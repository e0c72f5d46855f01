#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "foundation/system/SystemHardwareProbes.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

namespace HardwareUtils {
namespace {

TEST(SystemHardwareProbesTest, ProcessorFromCpuInfo) {
  const std::string fourThreads =
      "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i7\ncpu MHz\t\t: 2700.001\n"
      "physical id\t: 0\ncore id\t\t: 0\n\nprocessor\t: 1\ncpu MHz\t\t: 3100.000\n"
      "physical id\t: 0\ncore id\t\t: 1\n\nprocessor\t: 2\nphysical id\t: 0\ncore id\t\t: 0\n\n"
      "processor\t: 3\nphysical id\t: 0\ncore id\t\t: 1\n";
  struct Case {
    std::string text;
    ProcessorMap expected;
  } cases[] = {
      {fourThreads,
       {{"name", "Intel(R) Core(TM) i7"}, {"numberOfCores", "2"}, {"frequencyInGHz", "2.70"}}},
      // Beyond 2^32 Hz: the frequency is 64-bit.
      {"processor : 0\nprocessor : 1\ncpu MHz : 5200.0\n",
       {{"numberOfCores", "2"}, {"frequencyInGHz", "5.20"}}},
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
    const char* memInfo;  // null: no file
    std::optional<std::string> gibibytes;
  } cases[] = {
      {"MemFree: 1 kB\nMemTotal:       16303676 kB\n", "16"},  // 15.55 GiB after firmware
      {"MemTotal: 8388608 kB\n", "8"},
      {"MemTotal: 7759462 kB\n", "7"},  // 7.4 GiB
      {"MemTotal: 12345\n", std::nullopt},
      {"MemFree: 1 kB\n", std::nullopt},
      {nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(folder / "meminfo");
    if (c.memInfo) wendtest::writeFile(folder / "meminfo", c.memInfo);
    HardwareSources sources;
    sources.memInfoPath = folder / "meminfo";
    std::string text = "untouched";
    EXPECT_EQ(SystemHardwareProbes(sources).machineRAM(text), c.gibibytes.has_value());
    EXPECT_EQ(text, c.gibibytes.value_or("untouched")) << (c.memInfo ? c.memInfo : "no file");
  }
}

TEST(SystemHardwareProbesTest, SystemDriveFromTheRootMount) {
  struct Case {
    const char* mountInfo;
    const char* name;  // null: no root mount
  } cases[] = {
      {"22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
       "23 22 0:5 / /dev rw - devtmpfs udev rw\n24 22 0:30 / / rw master:2 - overlay overlay rw\n",
       "overlay"},
      {"22 1 259:2 / / rw - btrfs /dev/nvme0n1p2 rw\n", "nvme0n1p2"},
      {"23 22 0:5 / /dev rw - devtmpfs udev\n", nullptr},
      {"22 1 8:1 / / rw shared:1\n", nullptr},
  };
  for (const Case& c : cases) {
    std::string name = "untouched";
    EXPECT_EQ(SystemHardwareProbes::readRootDevice(c.mountInfo, name), c.name != nullptr);
    EXPECT_EQ(name, c.name ? c.name : "untouched") << c.mountInfo;
  }
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

TEST(SystemHardwareProbesTest, OperatingSystemAndScreenAsThisBuildStandsForThem) {
  OSVersion version;
  wendtest::ScopedEnv older("WEND_OS_VERSION", "10.11.6");
  ASSERT_TRUE(SystemHardwareProbes().osVersion(version));
  EXPECT_EQ(version.minorVersion, 11);

  wendtest::ScopedEnv noX11("DISPLAY", std::nullopt), noWayland("WAYLAND_DISPLAY", std::nullopt);
  wendtest::ScopedEnv scale("GDK_SCALE", "2");
  EXPECT_EQ(SystemHardwareProbes().screenScaleFactor(), 1.0f);
  wendtest::ScopedEnv display("DISPLAY", ":0");
  EXPECT_EQ(SystemHardwareProbes().screenScaleFactor(), 2.0f);
}

TEST(SystemHardwareProbesTest, AFailedOrMissingProfilerGivesNoGraphics) {
  for (const std::string tool : {WEND_FAKE_SYSTEM_PROFILER, "/nonexistent/system_profiler"}) {
    wendtest::ScopedEnv path("WEND_TOOL_SYSTEM_PROFILER", tool);
    wendtest::ScopedEnv exit("WEND_FAKE_SYSTEM_PROFILER_EXIT", "1");
    std::vector<DisplayRecord> displays;
    std::string openGL;
    EXPECT_FALSE(SystemHardwareProbes().gpuDetails(displays, openGL)) << tool;
    EXPECT_TRUE(displays.empty());
    EXPECT_EQ(openGL, "0");
  }
}

}  // namespace
}  // namespace HardwareUtils
