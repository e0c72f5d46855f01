#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace gde {

// The record that engine events 2 and 3 carry (natural layout, size passed as sizeof).
struct SegmentEventRecord {
  uint32_t length;
  uint32_t index;
  uint8_t* buffer;
};

// One piece of the byte range: where it lies, its bytes while they travel to the disk, and which
// of them the disk already holds.
//
// Ownership: segments are shared. The pool, the download job filling it and every piece waiting
// for the writer each hold a reference, so a piece retried late never touches freed memory.
// Generations: reset() starts the segment over with a new generation and a fresh buffer; pieces
// of an older generation are dropped by writePiece instead of being counted or written.
// Completeness: a segment is complete only when its written bytes form one run from its first
// byte to its last, whatever order the pieces were written in.
//
// Thread rules: init/allocateBuffer/buffer writes belong to the one download job that runs on the
// segment; writePiece and reset may come from any thread and serialise on the segment's lock.
class Segment {
 public:
  enum class PieceResult { kStale, kFailed, kWritten, kCompleted };

  // length 0 stands for the whole stream (no known end).
  void init(uint64_t start, uint32_t length, uint32_t index);
  // Allocates `size` bytes (the segment length for 0) unless a buffer exists; false when memory
  // is short.
  bool allocateBuffer(uint32_t size = 0);
  // Starts over: nothing written, a new generation, the next allocateBuffer gives a new buffer.
  void reset();
  // reset() after the last piece is written: frees the buffer as soon as no piece holds it.
  void release();
  // The bytes [0, count) are already on disk from an earlier run.
  void markResumed(uint32_t count);
  // A truncated stream: the segment holds `length` bytes in the end.
  void setLength(uint32_t length);
  // Counts one rejected check of the segment's bytes; returns the count since init. reset()
  // keeps it: the count is what bounds refetching a segment whose bytes never pass.
  uint32_t countFailedCheck() { return ++failedChecks_; }
  uint32_t failedChecks() const { return failedChecks_.load(); }

  uint32_t length() const { return length_; }
  uint32_t index() const { return index_; }
  uint64_t start() const { return start_; }
  uint64_t lastByte() const { return lastByte_; }
  uint32_t doneBytes() const;
  uint64_t generation() const;
  std::shared_ptr<uint8_t[]> buffer() const;
  SegmentEventRecord eventRecord() const;

  // Runs `write` under the segment's lock when `generation` is current, then records the bytes
  // [offset, offset + length) as written and, when the written prefix grew, calls `recordPrefix`
  // with it (still under the lock, so records never go backwards past a restart). kCompleted is
  // returned once, by the piece that closes the last gap.
  PieceResult writePiece(uint64_t generation, uint32_t offset, uint32_t length,
                         const std::function<bool()>& write,
                         const std::function<void(uint32_t prefix)>& recordPrefix = {});
  // Bytes from the segment's start that are written without a gap: what a resume may trust.
  uint32_t writtenPrefix() const;

 private:
  void startOverLocked();

  mutable std::mutex mutex_;
  uint32_t length_ = 0;
  uint32_t index_ = 0;
  uint64_t start_ = 0;
  uint64_t lastByte_ = 0;
  std::shared_ptr<uint8_t[]> buffer_;          // guarded by mutex_
  uint64_t generation_ = 0;                    // guarded by mutex_
  uint32_t doneBytes_ = 0;                     // guarded by mutex_
  uint32_t prefix_ = 0;                        // guarded by mutex_
  std::map<uint32_t, uint32_t> writtenAhead_;  // offset -> length past the prefix; mutex_
  bool completed_ = false;                     // guarded by mutex_
  std::atomic<uint32_t> failedChecks_{0};
};

}  // namespace gde
