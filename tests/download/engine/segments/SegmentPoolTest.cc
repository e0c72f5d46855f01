#include <gtest/gtest.h>

#include "download/engine/segments/SegmentPool.h"

namespace gde {
namespace {

TEST(SegmentPoolTest, RefusesIndexesPastTheReservedCapacity) {
  SegmentPool pool;
  ASSERT_TRUE(pool.reserve(2));
  std::shared_ptr<Segment> segment;
  EXPECT_TRUE(pool.createAndGetSegmentFromPool(1, segment));
  EXPECT_FALSE(pool.createAndGetSegmentFromPool(2, segment));
  EXPECT_FALSE(pool.freeSegmentInPool(2));
}

TEST(SegmentPoolTest, GrowsByDoublingForAStream) {
  SegmentPool pool;
  ASSERT_TRUE(pool.reserve(1));
  std::shared_ptr<Segment> segment;
  EXPECT_TRUE(pool.createNextSegmentInPool(1, segment));
  EXPECT_EQ(pool.capacity(), 2u);
  EXPECT_TRUE(pool.createNextSegmentInPool(5, segment));
  EXPECT_EQ(pool.capacity(), 8u);
}

TEST(SegmentPoolTest, FreeingASlotLeavesAHolderWithAUsableSegment) {
  SegmentPool pool;
  ASSERT_TRUE(pool.reserve(1));
  std::shared_ptr<Segment> held;
  ASSERT_TRUE(pool.createAndGetSegmentFromPool(0, held));
  held->init(0, 8, 0);
  ASSERT_TRUE(pool.freeSegmentInPool(0));
  EXPECT_EQ(held->length(), 8u);
  EXPECT_EQ(held.use_count(), 1);
}

}  // namespace
}  // namespace gde
