#include <gtest/gtest.h>

#include "platform/files/FileContents.h"
#include "tests/support/HostileFiles.h"

using namespace wendtest;

namespace {

TEST(FileContents, ReadsARegularFileUpToTheBoundInclusive) {
  TemporaryFolder tree;
  writeFile(tree / "f", std::string(70000, 'a'));
  std::string bytes;
  std::string error;
  ASSERT_TRUE(platform::readRegularFile(tree / "f", 70000, bytes, error)) << error;
  EXPECT_EQ(bytes, std::string(70000, 'a'));
  bytes = "kept";
  EXPECT_FALSE(platform::readRegularFile(tree / "f", 69999, bytes, error));
  EXPECT_EQ(bytes, "kept");
}

// A FIFO blocked the reader forever and /dev/zero ended in bad_alloc.
TEST(FileContents, RefusesWhatIsNoBoundedRegularFileAtOnce) {
  HostileFiles hostile(1000);
  for (const std::string& path : hostile.all()) {
    std::string bytes = "kept";
    std::string error;
    EXPECT_FALSE(platform::readRegularFile(path, 999, bytes, error)) << path;
    EXPECT_EQ(bytes, "kept");
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
