#include <gtest/gtest.h>

#include "applets/PackageDownload.h"

namespace {

TEST(PackageDownloadTest, TheFractionNeverPassesTheWhole) {
  const struct {
    uint64_t done, size;
    double fraction;
  } cases[] = {{0, 0, 0}, {5, 0, 0}, {0, 10, 0}, {5, 10, 0.5}, {10, 10, 1}, {12, 10, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(applets::downloadFraction(c.done, c.size), c.fraction) << c.done << "/" << c.size;
}

}  // namespace
