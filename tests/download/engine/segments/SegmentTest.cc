#include <gtest/gtest.h>

#include "download/engine/segments/Segment.h"

namespace gde {
namespace {

bool succeed() {
  return true;
}

TEST(SegmentTest, KnowsItsLastByteAndTheWholeStreamHasNone) {
  Segment segment;
  segment.init(1000, 24, 3);
  EXPECT_EQ(segment.lastByte(), 1023u);
  segment.init(0, 0, 0);
  EXPECT_EQ(segment.lastByte(), 0u);
}

TEST(SegmentTest, CompletesOnlyWhenEveryPieceIsWrittenWhateverTheOrder) {
  Segment segment;
  segment.init(0, 300, 0);
  uint64_t generation = segment.generation();
  EXPECT_EQ(segment.writePiece(generation, 200, 100, succeed), Segment::PieceResult::kWritten);
  EXPECT_EQ(segment.writtenPrefix(), 0u);
  EXPECT_EQ(segment.writePiece(generation, 0, 100, succeed), Segment::PieceResult::kWritten);
  EXPECT_EQ(segment.writtenPrefix(), 100u);
  EXPECT_EQ(segment.writePiece(generation, 100, 100, succeed), Segment::PieceResult::kCompleted);
  EXPECT_EQ(segment.writtenPrefix(), 300u);
  EXPECT_EQ(segment.writePiece(generation, 100, 100, succeed), Segment::PieceResult::kWritten)
      << "completion is reported once";
}

TEST(SegmentTest, AFailedWriteLeavesAHoleThatKeepsTheSegmentIncomplete) {
  Segment segment;
  segment.init(0, 200, 0);
  uint64_t generation = segment.generation();
  EXPECT_EQ(segment.writePiece(generation, 0, 100, [] { return false; }),
            Segment::PieceResult::kFailed);
  EXPECT_EQ(segment.writePiece(generation, 100, 100, succeed), Segment::PieceResult::kWritten);
  EXPECT_EQ(segment.writtenPrefix(), 0u);
  EXPECT_EQ(segment.writePiece(generation, 0, 100, succeed), Segment::PieceResult::kCompleted);
}

TEST(SegmentTest, APieceOfAnEarlierGenerationIsDroppedAndKeepsItsBufferAlive) {
  Segment segment;
  segment.init(0, 64, 0);
  ASSERT_TRUE(segment.allocateBuffer());
  uint64_t old = segment.generation();
  std::shared_ptr<uint8_t[]> held = segment.buffer();
  held[63] = 7;
  segment.reset();
  EXPECT_EQ(segment.buffer(), nullptr);
  EXPECT_EQ(held[63], 7) << "the retried piece still reads valid memory";
  bool wrote = false;
  EXPECT_EQ(segment.writePiece(old, 0, 64, [&] { return wrote = true; }),
            Segment::PieceResult::kStale);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(segment.writtenPrefix(), 0u);
}

TEST(SegmentTest, AResumedPrefixCountsAsWritten) {
  Segment segment;
  segment.init(0, 100, 0);
  segment.markResumed(60);
  EXPECT_EQ(segment.doneBytes(), 60u);
  EXPECT_EQ(segment.writePiece(segment.generation(), 60, 40, succeed),
            Segment::PieceResult::kCompleted);
}

TEST(SegmentTest, EventRecordCarriesLengthIndexAndBytes) {
  Segment segment;
  segment.init(10, 16, 5);
  ASSERT_TRUE(segment.allocateBuffer());
  SegmentEventRecord record = segment.eventRecord();
  EXPECT_EQ(record.length, 16u);
  EXPECT_EQ(record.index, 5u);
  EXPECT_EQ(record.buffer, segment.buffer().get());
}

}  // namespace
}  // namespace gde
