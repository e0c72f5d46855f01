#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "foundation/json/NumberText.h"

namespace Json {
namespace {

TEST(NumberTextTest, WritesIntegersInDecimal) {
  EXPECT_EQ("0", valueToString(LargestInt{0}));
  EXPECT_EQ("-1", valueToString(LargestInt{-1}));
  EXPECT_EQ("-9223372036854775808", valueToString(std::numeric_limits<LargestInt>::min()));
  EXPECT_EQ("9223372036854775807", valueToString(std::numeric_limits<LargestInt>::max()));
  EXPECT_EQ("18446744073709551615", valueToString(std::numeric_limits<LargestUInt>::max()));
}

TEST(NumberTextTest, WritesRealsAsPrintfWithSeventeenSignificantDigits) {
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (i % 2 == 0)
      value = static_cast<double>(static_cast<std::int64_t>(bits % 2000001) - 1000000) / 1000.0;
    if (std::isnan(value) || std::isinf(value)) continue;
    char expected[40];
    std::snprintf(expected, sizeof expected, "%.17g", value);
    ASSERT_EQ(expected, valueToString(value)) << "bits " << bits;
  }
}

TEST(NumberTextTest, WritesSpecialRealsAsTheirMarkers) {
  EXPECT_EQ("null", valueToString(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("1e+9999", valueToString(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("-1e+9999", valueToString(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ("-0", valueToString(-0.0));
  EXPECT_EQ("2.2250738585072014e-308", valueToString(std::numeric_limits<double>::min()));
  EXPECT_EQ("1.7976931348623157e+308", valueToString(std::numeric_limits<double>::max()));
}

}  // namespace
}  // namespace Json
