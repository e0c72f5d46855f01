#include <gtest/gtest.h>

#include "download/engine/segments/SegmentBufferCache.h"

namespace gde {
namespace {

TEST(SegmentBufferCacheTest, HandsALetGoBufferToTheNextSegmentOfItsSize) {
  SegmentBufferCache& cache = SegmentBufferCache::instance();
  std::shared_ptr<uint8_t[]> first = cache.acquire(0x10000);
  ASSERT_TRUE(first);
  first[0x10000 - 1] = 1;
  uint8_t* address = first.get();
  first.reset();
  std::shared_ptr<uint8_t[]> other = cache.acquire(0x20000);
  std::shared_ptr<uint8_t[]> second = cache.acquire(0x10000);
  EXPECT_EQ(second.get(), address);
  EXPECT_NE(other.get(), address);
}

TEST(SegmentBufferCacheTest, KeepsNoMoreIdleBytesThanItsLimit) {
  SegmentBufferCache& cache = SegmentBufferCache::instance();
  const uint32_t size = 0x400000;
  std::vector<std::shared_ptr<uint8_t[]>> held;
  for (uint64_t total = 0; total <= 2 * SegmentBufferCache::kIdleLimit; total += size) {
    held.push_back(cache.acquire(size));
    ASSERT_TRUE(held.back());
  }
  held.clear();
  EXPECT_LE(cache.idleBytes(), SegmentBufferCache::kIdleLimit);
}

}  // namespace
}  // namespace gde
