#include <gtest/gtest.h>

#include <filesystem>

#include "download/engine/files/GzipFileInflater.h"
#include "tests/download/engine/support/FolderFiles.h"
#include "tools/testserver/Gzip.h"

namespace gde {
namespace {

std::string gzip(const std::string& text) {
  return testserver::gzipCompress(text);
}

class GzipFileInflaterTest : public ::testing::Test {
 protected:
  size_t entries() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
      (void)entry;
      ++count;
    }
    return count;
  }
  wendtest::TemporaryFolder scratch;
  std::string error;
  int systemError = 0;
};

TEST_F(GzipFileInflaterTest, InflatesLargeAndConcatenatedStreamsThenDeletesTheSource) {
  std::string big(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  std::string source = writeIn(scratch, "in.gz", gzip(big) + gzip("tail"));
  ASSERT_TRUE(GzipFileInflater::inflate(source, (scratch / "out"), error, systemError)) << error;
  EXPECT_EQ(wendtest::readFile((scratch / "out")), big + "tail");
  EXPECT_FALSE(std::filesystem::exists(source));
  EXPECT_EQ(entries(), 1u) << "no temporary file is left";
}

TEST_F(GzipFileInflaterTest, ADamagedOrCutStreamKeepsTheSourceAndLeavesNoTarget) {
  std::string whole = gzip(std::string(100000, 'a'));
  for (const std::string& bad : {whole.substr(0, whole.size() / 2), std::string("not gzip")}) {
    std::string source = writeIn(scratch, "in.gz", bad);
    EXPECT_FALSE(GzipFileInflater::inflate(source, (scratch / "out"), error, systemError));
    EXPECT_TRUE(std::filesystem::exists(source));
    EXPECT_FALSE(std::filesystem::exists((scratch / "out")));
    EXPECT_EQ(entries(), 1u);
  }
}

TEST_F(GzipFileInflaterTest, NeverReplacesAnExistingTarget) {
  std::string source = writeIn(scratch, "in.gz", gzip("new"));
  writeIn(scratch, "out", "old");
  EXPECT_FALSE(GzipFileInflater::inflate(source, (scratch / "out"), error, systemError));
  EXPECT_EQ(wendtest::readFile((scratch / "out")), "old");
  EXPECT_TRUE(std::filesystem::exists(source));
}

}  // namespace
}  // namespace gde
