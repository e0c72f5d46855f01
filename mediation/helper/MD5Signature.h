#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The MD5 digest of a block of bytes as 32 lower-case hexadecimal digits: the install helper's
// authentication token is made with it. No state; any thread.
class MD5Signature {
 public:
  // Replaces `out` with the digest of the `length` bytes at `data`. Always true.
  bool getSignatureStringOfData(const uint8_t* data, size_t length, std::string& out) const;
};
