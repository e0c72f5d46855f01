#pragma once

#include <cstddef>
#include <cstdint>

// The bytes of a generated body: a pure function of (seed, offset), so a test can check any byte
// of a download without keeping a copy of the file.
namespace testserver {

// Fills `out` with `length` bytes of the body with `seed`, starting at byte `offset`.
void fillPattern(uint64_t seed, uint64_t offset, unsigned char* out, size_t length);

uint8_t patternByte(uint64_t seed, uint64_t offset);

}  // namespace testserver
