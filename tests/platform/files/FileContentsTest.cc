#include <gtest/gtest.h>

#include "platform/files/FileContents.h"
#include "tests/support/HostileFiles.h"

using namespace wendtest;

namespace {

// A FIFO blocked the reader forever and /dev/zero ended in bad_alloc.
TEST(FileContents, ReadsARegularFileUpToTheBoundInclusiveAndNothingElse) {
  HostileFiles hostile(70000);
  std::string bytes, error;
  ASSERT_TRUE(platform::readRegularFile(hostile.oversized(), 70000, bytes, error)) << error;
  EXPECT_EQ(bytes, "x" + std::string(69999, '\0'));
  for (const std::string& path : hostile.all()) {  // the oversized file one byte over the bound
    bytes = "kept";
    error.clear();
    EXPECT_FALSE(platform::readRegularFile(path, 69999, bytes, error)) << path;
    EXPECT_EQ(bytes, "kept");
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
