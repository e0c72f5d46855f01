#include "tools/testserver/BodyPattern.h"

#include <cstring>

namespace testserver {
namespace {

// splitmix64: cheap, and neighbouring words differ in every byte, so a shifted or repeated range
// never matches the expected bytes by accident.
uint64_t mixWord(uint64_t seed, uint64_t wordIndex) {
  uint64_t z = seed + (wordIndex + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

uint8_t patternByte(uint64_t seed, uint64_t offset) {
  return static_cast<uint8_t>(mixWord(seed, offset / 8) >> (8 * (offset % 8)));
}

void fillPattern(uint64_t seed, uint64_t offset, unsigned char* out, size_t length) {
  size_t done = 0;
  while (done < length && (offset + done) % 8 != 0) {
    out[done] = patternByte(seed, offset + done);
    ++done;
  }
  while (length - done >= 8) {
    const uint64_t word = mixWord(seed, (offset + done) / 8);
    for (int i = 0; i < 8; ++i) out[done + i] = static_cast<uint8_t>(word >> (8 * i));
    done += 8;
  }
  while (done < length) {
    out[done] = patternByte(seed, offset + done);
    ++done;
  }
}

}  // namespace testserver
